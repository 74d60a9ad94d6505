// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/conversions.h"

#include <QPaintDevice>
#include <QStringList>
#include <algorithm>

namespace rx47 {

namespace {

QString designFont() {
    return QString::fromUtf8(kDesignFont);
}

}  // namespace

TwipScale TwipScale::of(const QPaintDevice& device) {
    return TwipScale(device.logicalDpiX());
}

int TwipScale::px(Twips t) const {
    return TwipLength(t).toPixels(logicalDpi_);
}

QRect TwipScale::rect(const Geometry& g) const {
    const int left = px(g.left);
    const int top = px(g.top);
    return QRect(left, top, px(g.left + g.width) - left, px(g.top + g.height) - top);
}

int TwipScale::penWidth(int width) const {
    return std::max(1, TwipLength(width * 15).toPixels(logicalDpi_));
}

QColor qtColour(Colour c) {
    return QColor(static_cast<int>(redOf(c)), static_cast<int>(greenOf(c)), static_cast<int>(blueOf(c)));
}

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

std::string stdText(const QString& text) {
    return text.toStdString();
}

QString qtPath(const std::filesystem::path& path) {
    return qtText(path.string());
}

Qt::Alignment qtAlignment(Align align) {
    switch (align) {
        case Align::Right:
            return Qt::AlignRight;
        case Align::Centre:
            return Qt::AlignHCenter;
        case Align::Left:
            break;
    }
    return Qt::AlignLeft;
}

void installFontSubstitutions() {
    if (QFont::substitutes(designFont()).isEmpty()) substituteDesignFont(QString::fromLatin1(kSubstituteFont));
}

void substituteDesignFont(const QString& family) {
    QFont::removeSubstitutions(designFont());
    QFont::insertSubstitution(designFont(), family);
}

int labelTextFlags(const LabelControl& label, const QFontMetrics& metrics, int height) {
    Qt::Alignment align = qtAlignment(label.align);
    align |= metrics.height() > height ? Qt::AlignVCenter : Qt::AlignTop;
    int flags = static_cast<int>(align) | Qt::TextSingleLine;
    if (label.transparent) flags |= Qt::TextDontClip;
    return flags;
}

QFont qtFont(const Font& font, const Font& windowFont) {
    const Font& f = font.name.empty() ? windowFont : font;
    QFont q(qtText(f.name));
    q.setPointSizeF(f.points);
    q.setBold(f.bold);
    return q;
}

}  // namespace rx47
