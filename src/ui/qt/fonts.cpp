#include "ui/qt/fonts.h"

#include <QStringList>

namespace rx47 {

namespace {

QString designFont() {
    return QString::fromUtf8(kDesignFont);
}

}  // namespace

void installFontSubstitutions() {
    if (QFont::substitutes(designFont()).isEmpty()) substituteDesignFont(QString::fromLatin1(kSubstituteFont));
}

void substituteDesignFont(const QString& family) {
    QFont::removeSubstitutions(designFont());
    QFont::insertSubstitution(designFont(), family);
}

int labelTextFlags(const LabelControl& label, const QFontMetrics& metrics, int height) {
    Qt::Alignment align = Qt::AlignLeft;
    if (label.align == Align::Right) align = Qt::AlignRight;
    if (label.align == Align::Centre) align = Qt::AlignHCenter;
    align |= metrics.height() > height ? Qt::AlignVCenter : Qt::AlignTop;
    int flags = static_cast<int>(align) | Qt::TextSingleLine;
    if (label.transparent) flags |= Qt::TextDontClip;
    return flags;
}

QFont qtFont(const Font& font, const Font& windowFont) {
    const Font& f = font.name.empty() ? windowFont : font;
    QFont q(QString::fromStdString(f.name));
    q.setPointSizeF(f.points);
    q.setBold(f.bold);
    return q;
}

}  // namespace rx47
