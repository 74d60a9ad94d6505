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
    void add(const Summary& other) {
        if (other.min < min) min = other.min;
        if (other.max > max) max = other.max;
        sum += other.sum;
        count += other.count;
    }
    bool empty() const { return count == 0; }
    double mean() const { return count ? sum / static_cast<double>(count) : 0.0; }
};

/// Where the index reads the few minutes its summaries do not cover, when reading them through
/// memory would cost more than the minutes wanted: minutes mapped from a file are read in by runs
/// of pages, and a view of ten years wants a few minutes at each of its 1,500 column edges.
class MinuteSource {
public:
    /// Copies minutes [first, first + count) to `out`.
    virtual void copy(std::size_t first, std::size_t count, Minute* out) const = 0;

protected:
    ~MinuteSource() = default;
};

/// Summaries of the minutes in blocks of consecutive minutes (by position, 64 and 4,096 to a
/// block), so that a screen column standing for thousands of minutes is reduced from a few blocks
/// and a frame of ten years costs about as much as a frame of a day. Each block of 64 also keeps the
/// time of its first minute, so that a moment is found among the minutes by looking at one block of
/// them only (the minutes of ten years may be a mapped file, whose pages count only when read).
class SeriesIndex {
public:
    struct Block {
        std::int64_t firstTime = 0;
        Summary cpm;
        Summary dose;
    };
    static constexpr std::size_t kFine = 64;
    static constexpr std::size_t kCoarse = kFine * kFine;

    /// Brings the blocks up to date with `minutes`, of which the first `unchanged` are as they were
    /// at the last update (a running monitor's new minutes only redo the last block).
    void update(std::span<const Minute> minutes, std::size_t unchanged);
    /// Takes the blocks of 64 that update() made for `size` minutes (kept from an earlier run);
    /// false, and nothing taken, when they are not as many as those minutes have.
    bool restore(std::vector<Block> fine, std::size_t size);
    /// The minutes' source, for the minutes at the edges of a block (when not set, they are read from
    /// the minutes given).
    void setSource(const MinuteSource* source) { source_ = source; }
    const MinuteSource* source() const { return source_; }
    /// The number of minutes it summarises.
    std::size_t size() const { return size_; }
    /// Adds minutes [first, last) to the two summaries, whole blocks from their summaries.
    void summarise(std::span<const Minute> minutes, std::size_t first, std::size_t last, Summary& cpm,
                   Summary& dose) const;
    /// The position of the first minute at or after `time` within [first, last), as std::lower_bound
    /// finds it, reading the minutes of one block only.
    std::size_t lowerBound(std::span<const Minute> minutes, std::int64_t time, std::size_t first,
                           std::size_t last) const;

private:
    std::vector<Block> fine_;    // 64 minutes each
    std::vector<Block> coarse_;  // 4,096 minutes each
    std::size_t size_ = 0;
    const MinuteSource* source_ = nullptr;

    void updateCoarse(std::size_t unchanged);
    friend class MinuteCursor;
};

/// minutesWithin(), through the index when it is one of these minutes.
IndexRange minutesWithin(std::span<const Minute> minutes, TimeSpan span, const SeriesIndex* index);

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

/// Reduces the minutes within `span` into `columns` buckets of equal time; with an `index` of these
/// minutes, wide columns are summed from its blocks.
std::vector<Bucket> reduce(std::span<const Minute> minutes, TimeSpan span, int columns,
                           const SeriesIndex* index = nullptr);

/// The span of column `column` of `columns` over `span`, as reduce() divides it.
TimeSpan columnSpan(TimeSpan span, int columns, int column);

/// The one bucket of column `column`, as reduce() makes it (for the tool tip under the pointer); with
/// an `index` of these minutes, its minutes are found and summed through it.
Bucket bucketAt(std::span<const Minute> minutes, TimeSpan span, int columns, int column,
                const SeriesIndex* index = nullptr);

}  // namespace rx47::history
