// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/qt/plot_painter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <algorithm>
#include <vector>

#include "base/number.h"
#include "history/local_time.h"
#include "history/view.h"
#include "ui/qt/conversions.h"

namespace rx47::history {

namespace {

constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 16;
constexpr int kTopMargin = 26;
constexpr int kBottomMargin = 56;
constexpr int kPanelGap = 18;

const QColor kGrid{225, 225, 225};
const QColor kMajorGrid{170, 170, 170};
const QColor kText{40, 40, 40};

QColor band(const QColor& c) {
    QColor light = c;
    light.setAlpha(90);
    return light;
}

/// One panel: a series (CPM or dose) of the buckets on its own value scale.
struct Panel {
    QRect rect;
    const char* title;
    const char* unit;
    QColor colour;
    std::optional<double> alarm;
    Summary Bucket::*summary;
};

double yOf(const QRect& r, const ValueScale& s, double v) {
    return r.bottom() + 1 - v / s.top * r.height();
}

void paintPanel(QPainter& p, const Panel& panel, const std::vector<Bucket>& buckets, bool sparse) {
    const QRect& r = panel.rect;
    double largest = 0;
    for (const Bucket& b : buckets)
        if (!(b.*panel.summary).empty()) largest = std::max<double>(largest, (b.*panel.summary).max);
    const ValueScale scale = valueScale(largest, panel.alarm);
    const QFontMetrics fm(p.font());

    // The value axis: grid lines and their marks.
    for (double v = 0; v <= scale.top + scale.step / 2; v += scale.step) {
        const int y = static_cast<int>(std::lround(yOf(r, scale, v)));
        p.setPen(kGrid);
        p.drawLine(r.left(), y, r.right(), y);
        p.setPen(kText);
        const QString text = qtText(valueText(v, scale.step));
        p.drawText(QRect(0, y - fm.height() / 2, r.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter, text);
    }
    // The title, and the legend of the band and the line in the panel's colours.
    p.setPen(kText);
    const int baseline = r.top() + fm.ascent() + 2;
    const QString title = QString::fromUtf8(panel.title);
    p.drawText(r.left() + 6, baseline, title);
    int x = r.left() + 6 + fm.horizontalAdvance(title) + 18;
    const int middle = baseline - fm.ascent() / 2 + 1;
    p.fillRect(QRect(x, middle - 5, 14, 11), band(panel.colour));
    x += 18;
    p.drawText(x, baseline, QStringLiteral("最小〜最大"));
    x += fm.horizontalAdvance(QStringLiteral("最小〜最大")) + 14;
    p.fillRect(QRect(x, middle - 1, 16, 2), panel.colour);
    x += 20;
    p.drawText(x, baseline, QStringLiteral("平均"));

    // Each column: the band from its minimum to its maximum, then the means joined where no gap lies
    // between them.
    p.save();
    p.setClipRect(r);
    p.setPen(Qt::NoPen);
    // The bands are filled opaque into an image of the panel and laid on in one draw: each
    // see-through fill of its own is a blend that Qt hands to its thread pool when it is tall, and a
    // frame of ten years would wait tens of milliseconds for those hand-overs.
    const qreal ratio = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    QImage bands(r.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    bands.setDevicePixelRatio(ratio);
    bands.fill(Qt::transparent);
    {
        QPainter bp(&bands);
        bp.translate(-r.topLeft());
        for (std::size_t c = 0; c < buckets.size(); ++c) {
            const Summary& s = buckets[c].*panel.summary;
            if (s.empty()) continue;
            const double top = yOf(r, scale, s.max);
            const double bottom = yOf(r, scale, s.min);
            bp.fillRect(QRectF(r.left() + static_cast<double>(c), top - 0.5, 1.0, std::max(1.0, bottom - top + 1.0)),
                        panel.colour);
        }
    }
    p.setOpacity(band(panel.colour).alphaF());
    p.drawImage(r.topLeft(), bands);
    p.setOpacity(1.0);
    // A maximum that stands out, the top of a column's band above the bands of the three columns on
    // either side by more than their own widest spread (a one-minute spike among a year's minutes),
    // is drawn in the strong colour three pixels wide: pale and one pixel wide it is as faint as the
    // grid. Three columns each way keep the ordinary scatter of counts from standing out where a
    // column holds only a few minutes. Where a column holds a single minute the line runs through it.
    constexpr std::size_t kReach = 3;
    p.setPen(Qt::NoPen);
    for (std::size_t c = 0; c < buckets.size(); ++c) {
        const Summary& s = buckets[c].*panel.summary;
        if (s.count < 2) continue;
        double top = -1, spread = 0;
        for (std::size_t n = c >= kReach ? c - kReach : 0; n <= c + kReach && n < buckets.size(); ++n) {
            const Summary& o = buckets[n].*panel.summary;
            if (n == c || o.empty()) continue;
            top = std::max<double>(top, o.max);
            spread = std::max<double>(spread, o.max - o.min);
        }
        if (top < 0) top = s.mean();  // a column alone between gaps: above its own mean
        const double peak = yOf(r, scale, s.max);
        const double base = yOf(r, scale, top);
        if (s.max - top <= spread || base - peak < 3) continue;
        const int x0 = r.left() + static_cast<int>(c) - 1;
        p.fillRect(QRectF(x0, peak - 0.5, 3, base - peak + 0.5), panel.colour);
    }

    QPen line(panel.colour, 1.6);
    line.setJoinStyle(Qt::RoundJoin);
    p.setPen(line);
    p.setRenderHint(QPainter::Antialiasing, true);
    // Segments one by one: a stroked polyline of a thousand sharp turns costs Qt far more.
    std::vector<QLineF> segments;
    QPolygonF run;
    const auto flush = [&] {
        for (qsizetype i = 1; i < run.size(); ++i) segments.emplace_back(run[i - 1], run[i]);
        if (run.size() == 1 || sparse)
            for (const QPointF& pt : run) p.drawEllipse(pt, 1.6, 1.6);
        run.clear();
    };
    for (std::size_t c = 0; c < buckets.size(); ++c) {
        const Bucket& b = buckets[c];
        const Summary& s = b.*panel.summary;
        if (s.empty()) {
            if (!b.empty()) flush();  // minutes without this figure: nothing to join across
            continue;
        }
        run.append(QPointF(r.left() + c + 0.5, yOf(r, scale, s.mean())));
        if (!b.joinsNext) flush();
    }
    flush();
    p.drawLines(segments.data(), static_cast<int>(segments.size()));
    p.setRenderHint(QPainter::Antialiasing, false);

    // The alarm level.
    if (panel.alarm) {
        const int y = static_cast<int>(std::lround(yOf(r, scale, *panel.alarm)));
        p.setPen(QPen(kAlarmColour, 1, Qt::DashLine));
        p.drawLine(r.left(), y, r.right(), y);
        p.setPen(kAlarmColour);
        const QString text =
            QStringLiteral("警報レベル %1 %2").arg(qtText(decimalText(*panel.alarm)), QString::fromUtf8(panel.unit));
        p.drawText(QRect(r.left(), y - fm.height() - 1, r.width() - 4, fm.height()), Qt::AlignRight | Qt::AlignBottom,
                   text);
    }
    p.restore();
    p.setPen(kMajorGrid);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

}  // namespace

PlotLayout plotLayout(const QRect& area) {
    const int left = area.left() + kLeftMargin;
    const int width = std::max(1, area.width() - kLeftMargin - kRightMargin);
    const int top = area.top() + kTopMargin;
    const int height = std::max(2, area.height() - kTopMargin - kBottomMargin - kPanelGap);
    const int cpmHeight = height * 3 / 5;
    PlotLayout layout;
    layout.cpm = QRect(left, top, width, cpmHeight);
    layout.dose = QRect(left, top + cpmHeight + kPanelGap, width, height - cpmHeight);
    return layout;
}

void paintPlot(QPainter& p, const QRect& area, const PlotScene& scene) {
    p.save();
    p.fillRect(area, Qt::white);
    const PlotLayout layout = plotLayout(area);
    const QFontMetrics fm(p.font());
    if (scene.view.length() <= 0) {
        p.restore();
        return;
    }
    const std::vector<Bucket> buckets = reduce(scene.minutes, scene.view, layout.columns(), scene.index);
    // Zoomed in so far that minutes stand apart: mark each one.
    const bool sparse = static_cast<double>(scene.view.length()) / layout.columns() <= 6.0;

    // The span shown, above the plot.
    p.setPen(kText);
    p.drawText(QRect(area.left() + kLeftMargin, area.top(), layout.cpm.width(), kTopMargin),
               Qt::AlignLeft | Qt::AlignVCenter,
               qtText(shortText(scene.view.from) + " 〜 " + shortText(scene.view.to)));

    // Time marks across both panels, labelled below.
    const auto xOf = [&](std::int64_t t) {
        return layout.cpm.left() +
               static_cast<double>(t - scene.view.from) / static_cast<double>(scene.view.length()) * layout.columns();
    };
    const int labelY = layout.dose.bottom() + 4;
    for (const TimeTick& tick : timeTicks(scene.view, layout.columns(), 90)) {
        const int x = static_cast<int>(std::lround(xOf(tick.time)));
        p.setPen(tick.major ? kMajorGrid : kGrid);
        p.drawLine(x, layout.cpm.top(), x, layout.cpm.bottom());
        p.drawLine(x, layout.dose.top(), x, layout.dose.bottom());
        QFont font = p.font();
        font.setBold(tick.major);
        p.setFont(font);
        p.setPen(kText);
        const QString text = qtText(tick.label);
        const int w = fm.horizontalAdvance(text) + 8;
        // A mark at the very edge keeps its label inside the picture.
        const int left = std::clamp(x - w / 2, area.left(), std::max(area.left(), area.right() + 1 - w));
        p.drawText(QRect(left, labelY, w, fm.height() + 4), Qt::AlignHCenter | Qt::AlignTop, text);
        font.setBold(false);
        p.setFont(font);
    }

    // The time zone the marks are in, under them at the right.
    p.setPen(kText);
    p.drawText(QRect(layout.dose.left(), labelY + fm.height() + 4, layout.dose.width(), fm.height() + 4),
               Qt::AlignRight | Qt::AlignTop, QStringLiteral("タイムゾーン: ") + qtText(zoneText(scene.view)));

    paintPanel(p, {layout.cpm, "CPM (直近平均)", "CPM", kCpmColour, scene.levels.cpm, &Bucket::cpm}, buckets, sparse);
    paintPanel(p, {layout.dose, "μSv/h (直近平均)", "μSv/h", kDoseColour, scene.levels.dose, &Bucket::dose}, buckets,
               sparse);
    p.restore();
}

}  // namespace rx47::history
