// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "ui/qt/conversions.h"

namespace rx47 {

namespace {

const QColor kNavy(0x12, 0x2b, 0x4f);
const QColor kDeepNavy(0x08, 0x17, 0x30);
const QColor kWarningYellow(0xff, 0xd2, 0x1f);
const QColor kBarBlue(0x00, 0x80, 0xc0);  // the graph's own colour in the supplied settings
const QColor kDoseOrange(0xff, 0x80, 0x00);

QPixmap blank(QSize size) {
    QPixmap p(size.expandedTo(QSize(1, 1)));
    p.fill(Qt::transparent);
    return p;
}

QFont pictureFont(double pixels, bool bold) {
    QFont f(QString::fromLatin1(kSubstituteFont));
    f.setPixelSize(std::max(1, static_cast<int>(pixels)));
    f.setBold(bold);
    return f;
}

/// The radiation trefoil: three blades and a hub in `ink` on a disc of `ground`.
void drawTrefoil(QPainter& p, QPointF centre, double radius, const QColor& ground, const QColor& ink) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(ink);
    const double outer = radius * 0.86;
    const double inner = radius * 0.26;
    const QRectF outerBox(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer);
    const QRectF innerBox(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner);
    for (double start : {0.0, 120.0, 240.0}) {  // blades centred at 30°, 150° and 270°
        QPainterPath blade;
        blade.arcMoveTo(outerBox, start);
        blade.arcTo(outerBox, start, 60);
        blade.arcTo(innerBox, start + 60, -60);
        blade.closeSubpath();
        p.drawPath(blade);
    }
    const double hub = radius * 0.17;
    p.drawEllipse(centre, hub, hub);
    p.restore();
}

/// A few bars with a dose line over them, as on the trend graph.
void drawBarMotif(QPainter& p, const QRectF& box, const QColor& bars, const QColor& dose) {
    static const double heights[] = {0.35, 0.5, 0.42, 0.62, 0.55, 0.8, 0.66, 0.9, 0.7, 0.58};
    const int n = static_cast<int>(std::size(heights));
    const double slot = box.width() / n;
    QPolygonF line;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(bars);
    for (int i = 0; i < n; ++i) {
        const double h = box.height() * heights[i];
        const QRectF bar(box.left() + i * slot + slot * 0.1, box.bottom() - h, slot * 0.8, h);
        p.drawRect(bar);
        line << QPointF(bar.center().x(), box.bottom() - h * 0.8 - box.height() * 0.08);
    }
    p.setPen(QPen(dose, std::max(1.0, box.height() / 30)));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line);
    p.restore();
}

}  // namespace

QPixmap splashPicture(QSize size) {
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    const QRectF r(QPointF(0, 0), QSizeF(pixmap.size()));
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, kNavy);
    sky.setColorAt(1, kDeepNavy);
    p.fillRect(r, sky);

    const double h = r.height();
    drawBarMotif(p, QRectF(r.width() * 0.55, h * 0.52, r.width() * 0.4, h * 0.36), kBarBlue.lighter(130), kDoseOrange);
    drawTrefoil(p, QPointF(h * 0.5, h * 0.5), h * 0.34, kWarningYellow, Qt::black);

    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(Qt::white);
    p.setFont(pictureFont(h * 0.22, true));
    const double textLeft = h * 0.95;
    p.drawText(QRectF(textLeft, h * 0.1, r.width() - textLeft, h * 0.34), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("RX47 monitor"));
    p.setPen(QColor(0xc8, 0xd6, 0xe8));
    p.setFont(pictureFont(h * 0.11, false));
    p.drawText(QRectF(textLeft, h * 0.42, r.width() - textLeft, h * 0.14), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("放射線カウンタ モニタ"));
    p.setPen(QPen(kWarningYellow, std::max(1.0, h / 60)));
    p.drawLine(QPointF(textLeft, h * 0.92), QPointF(r.width() - h * 0.1, h * 0.92));
    p.setPen(QColor(0x5a, 0x6e, 0x8c));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    return pixmap;
}

QPixmap logoPicture(QSize size) {
    QPixmap pixmap = blank(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    const double h = pixmap.height();
    const double w = pixmap.width();
    drawTrefoil(p, QPointF(h * 0.5, h * 0.5), h * 0.48, kWarningYellow, Qt::black);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(kNavy);
    p.setFont(pictureFont(h * 0.72, true));
    const QRectF nameBox(h * 1.3, 0, w * 0.7 - h * 1.3, h);
    p.drawText(nameBox, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("RX47 monitor"));
    drawBarMotif(p, QRectF(w * 0.74, h * 0.12, w * 0.25, h * 0.8), kBarBlue, kDoseOrange);
    return pixmap;
}

QPixmap axisArrowPicture(QSize size) {
    QPixmap pixmap = blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const double w = pixmap.width();
    const double h = pixmap.height();
    p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(w, h / 2), QPointF(0, h)}));
    return pixmap;
}

QPixmap programIconPicture(int side) {
    QPixmap pixmap = blank(QSize(side, side));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, std::max(1.0, side / 16.0)));
    p.setBrush(Qt::NoBrush);
    drawTrefoil(p, QPointF(side / 2.0, side / 2.0), side / 2.0 - 0.5, kWarningYellow, Qt::black);
    p.drawEllipse(QPointF(side / 2.0, side / 2.0), side / 2.0 - 1, side / 2.0 - 1);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64}) icon.addPixmap(programIconPicture(side));
    return icon;
}

QCursor logoCursor() {
    QPixmap pixmap = blank(QSize(32, 32));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // An arrow pointer with a small trefoil badge at its foot.
    const QPolygonF arrow({QPointF(1, 1), QPointF(1, 19), QPointF(6, 14.5), QPointF(9.5, 22), QPointF(12.5, 20.5),
                           QPointF(9, 13.5), QPointF(15, 13.5)});
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::black);
    p.drawPolygon(arrow);
    p.setPen(QPen(Qt::black, 1));
    drawTrefoil(p, QPointF(22, 22), 8, kWarningYellow, Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(22, 22), 8, 8);
    return QCursor(pixmap, 1, 1);
}

}  // namespace rx47
