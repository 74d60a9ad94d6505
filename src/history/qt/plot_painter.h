// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Draws the history plot with QPainter: the minute's CPM above and its dose rate below, one column
// per pixel with the minimum-to-maximum band and the mean line of the minutes it stands for, broken
// at gaps, a maximum that stands out in the strong colour, the alarm levels as lines, a legend, and
// the time axis with its time zone. The window and the PNG export both use it.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <span>

#include "history/alarm_levels.h"
#include "history/record_reader.h"
#include "history/series.h"

namespace rx47::history {

/// The colours of the supplied settings: bars, dose line, alarm line.
inline const QColor kCpmColour{0, 128, 192};
inline const QColor kDoseColour{255, 128, 0};
inline const QColor kAlarmColour{255, 0, 0};

struct PlotScene {
    std::span<const Minute> minutes;
    TimeSpan view;
    AlarmLevels levels;
    const SeriesIndex* index = nullptr;  ///< of `minutes`, when there is one
};

/// Where the plot draws inside `area`: the span of data columns (shared by both panels) and each
/// panel's rectangle.
struct PlotLayout {
    QRect cpm;
    QRect dose;
    int columns() const { return cpm.width(); }
    /// The column under x, or -1 outside the panels' width.
    int columnAt(int x) const { return x >= cpm.left() && x <= cpm.right() ? x - cpm.left() : -1; }
};
PlotLayout plotLayout(const QRect& area);

void paintPlot(QPainter& painter, const QRect& area, const PlotScene& scene);

}  // namespace rx47::history
