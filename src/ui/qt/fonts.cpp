#include "ui/qt/fonts.h"

#include <QStringList>

#include "model/main_form.h"

namespace rx47 {

void installFontSubstitutions() {
    const QString design = QString::fromUtf8(kDesignFont);
    if (QFont::substitutes(design).contains(QLatin1String(kSubstituteFont))) return;
    QFont::insertSubstitution(design, QLatin1String(kSubstituteFont));
}

QFont qtFont(const Font& font, const Font& windowFont) {
    const Font& f = font.name.empty() ? windowFont : font;
    QFont q(QString::fromStdString(f.name));
    q.setPointSizeF(f.points);
    q.setBold(f.bold);
    return q;
}

}  // namespace rx47
