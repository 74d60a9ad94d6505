// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the history window shows, decided without drawing: the span in view (the range buttons, zoom
// about the pointer, panning, following new minutes), the value scales and the tool tip texts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/series.h"

namespace rx47::history {

enum class Range { Day, Week, Month, All };

inline constexpr std::int64_t kDaySeconds = 24 * 60 * 60;
/// The narrowest view: ten minutes.
inline constexpr std::int64_t kNarrowestView = 10 * 60;

/// The span a range button shows: the last day, week or month (30 days) up to the end of the
/// records, or all of them. Without records, up to `now`.
TimeSpan rangeSpan(Range range, TimeSpan records, std::int64_t now);

/// The span of the command line's --from and --to: either may be left out, and then the records'
/// first or last minute stands in for it. A span that ends up empty is a day from the one given,
/// or all the records when neither was.
TimeSpan requestedSpan(std::optional<std::int64_t> from, std::optional<std::int64_t> to, TimeSpan records,
                       std::int64_t now);

/// The view zoomed by `factor` (below 1 zooms in) about the moment at `anchor` (0 left edge … 1 right
/// edge), kept between the narrowest view and a little more than the records (or a year).
TimeSpan zoomed(TimeSpan view, double factor, double anchor, TimeSpan records);

/// The view moved by `seconds` (positive: later), kept so that some of the records stay in it.
TimeSpan panned(TimeSpan view, std::int64_t seconds, TimeSpan records);

/// The view after new minutes arrived: one whose right edge was at the end of the records moves with
/// it, keeping its length; any other stays where it is.
TimeSpan followed(TimeSpan view, TimeSpan before, TimeSpan after);

/// A value axis from 0: its top and the step between its marks (1, 2 or 5 times a power of ten).
struct ValueScale {
    double top = 1;
    double step = 0.2;
};
/// A scale that holds `largest` and, when given, the alarm level (so its line is always in view).
ValueScale valueScale(double largest, std::optional<double> alarmLevel);

/// The text of a mark of a value axis: "0", "25", "0.25".
std::string valueText(double value, double step);

/// The tool tip of a screen column: one minute's values, or the minimum, mean and maximum of the
/// minutes it stands for, with the running average and total count of its last minute.
std::string tooltipText(const Bucket& bucket, std::span<const Minute> minutes);

/// The status line: how many minutes, from when to when, and what was skipped.
std::string statusText(std::size_t minutes, TimeSpan records, std::size_t skipped, std::size_t unreadable);

}  // namespace rx47::history
