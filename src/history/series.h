// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The minutes as a plotted series: gaps, the minutes of a time span, and the reduction of a span into
// one bucket per screen column, each with the minimum, maximum and mean of the minutes it stands for
// (so a one-minute spike shows however far the view is zoomed out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "history/record_reader.h"

namespace rx47::history {

/// Recorded minutes further apart than this have a gap between them: nothing was recorded there,
/// and no line joins them. A minute and a half allows for the second at which a line is written.
inline constexpr std::int64_t kGapSeconds = 90;

inline bool joined(std::int64_t earlier, std::int64_t later) {
    return later - earlier <= kGapSeconds;
}

/// A span of time [from, to) in seconds since the epoch.
struct TimeSpan {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t length() const { return to - from; }
    bool operator==(const TimeSpan&) const = default;
};

/// The index range [first, last) of the minutes within a span.
struct IndexRange {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t size() const { return last - first; }
};
IndexRange minutesWithin(std::span<const Minute> minutes, TimeSpan span);

/// The span from the first recorded minute to the end of the last one; empty for no minutes.
TimeSpan extent(std::span<const Minute> minutes);

/// Minimum, maximum and mean of the values that are there (an empty caption is not a value).
struct Summary {
    float min = std::numeric_limits<float>::infinity();
    float max = -std::numeric_limits<float>::infinity();
    double sum = 0;
    std::size_t count = 0;

    void add(float v) {
        if (v != v) return;  // NaN: nothing recorded
        if (v < min) min = v;
        if (v > max) max = v;
        sum += v;
        ++count;
    }
    bool empty() const { return count == 0; }
    double mean() const { return count ? sum / static_cast<double>(count) : 0.0; }
};

/// One screen column: its span of time and the minutes within it.
struct Bucket {
    TimeSpan span;
    IndexRange minutes;
    Summary cpm;
    Summary dose;
    /// Whether the next column that has minutes continues this one without a gap, so that a line
    /// may join them.
    bool joinsNext = false;
    bool empty() const { return minutes.size() == 0; }
};

/// Reduces the minutes within `span` into `columns` buckets of equal time.
std::vector<Bucket> reduce(std::span<const Minute> minutes, TimeSpan span, int columns);

/// The span of column `column` of `columns` over `span`, as reduce() divides it.
TimeSpan columnSpan(TimeSpan span, int columns, int column);

/// The one bucket of column `column`, as reduce() makes it (for the tool tip under the pointer).
Bucket bucketAt(std::span<const Minute> minutes, TimeSpan span, int columns, int column);

}  // namespace rx47::history
