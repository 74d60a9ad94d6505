// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/series.h"

#include <algorithm>
#include <array>
#include <utility>

namespace rx47::history {

IndexRange minutesWithin(std::span<const Minute> minutes, TimeSpan span) {
    const auto before = [](const Minute& m, std::int64_t t) { return m.time < t; };
    const auto first = std::lower_bound(minutes.begin(), minutes.end(), span.from, before);
    const auto last = std::lower_bound(first, minutes.end(), span.to, before);
    return {static_cast<std::size_t>(first - minutes.begin()), static_cast<std::size_t>(last - minutes.begin())};
}

TimeSpan extent(std::span<const Minute> minutes) {
    if (minutes.empty()) return {};
    return {minutes.front().time, minutes.back().time + 60};
}

TimeSpan columnSpan(TimeSpan span, int columns, int column) {
    // Whole seconds, exactly: column c starts at from + floor(c × length ÷ columns).
    const auto edge = [&](int c) { return c >= columns ? span.to : span.from + c * span.length() / columns; };
    return {edge(column), edge(column + 1)};
}

Bucket bucketAt(std::span<const Minute> minutes, TimeSpan span, int columns, int column, const SeriesIndex* index) {
    if (columns <= 0 || column < 0 || column >= columns || span.length() <= 0) return {};
    const TimeSpan own = columnSpan(span, columns, column);
    Bucket b = reduce(minutes, own, 1, index).front();
    // Whether a line leaves it is decided over the whole view, as reduce() does.
    const IndexRange view = minutesWithin(minutes, span, index);
    const std::size_t next = b.minutes.last;
    b.joinsNext = !b.empty() && next < view.last && joined(minutes[next - 1].time, minutes[next].time);
    return b;
}

namespace {

constexpr std::size_t kFine = SeriesIndex::kFine;
constexpr std::size_t kCoarse = SeriesIndex::kCoarse;

}  // namespace

void SeriesIndex::update(std::span<const Minute> minutes, std::size_t unchanged) {
    unchanged = std::min({unchanged, size_, minutes.size()});
    // Blocks from the one holding the first changed minute on are summed again.
    fine_.resize(unchanged / kFine);
    for (std::size_t b = fine_.size(); b * kFine < minutes.size(); ++b) {
        Block block;
        block.firstTime = minutes[b * kFine].time;
        for (std::size_t i = b * kFine; i < std::min(minutes.size(), (b + 1) * kFine); ++i) {
            block.cpm.add(minutes[i].cpm);
            block.dose.add(minutes[i].dose);
        }
        fine_.push_back(block);
    }
    size_ = minutes.size();
    updateCoarse(unchanged);
}

bool SeriesIndex::restore(std::vector<Block> fine, std::size_t size) {
    if (fine.size() != (size + kFine - 1) / kFine) return false;
    fine_ = std::move(fine);
    size_ = size;
    updateCoarse(0);
    return true;
}

void SeriesIndex::updateCoarse(std::size_t unchanged) {
    coarse_.resize(std::min(coarse_.size(), unchanged / kCoarse));
    for (std::size_t b = coarse_.size(); b * kCoarse < size_; ++b) {
        Block block;
        block.firstTime = fine_[b * kFine].firstTime;
        for (std::size_t f = b * kFine; f < std::min(fine_.size(), (b + 1) * kFine); ++f) {
            block.cpm.add(fine_[f].cpm);
            block.dose.add(fine_[f].dose);
        }
        coarse_.push_back(block);
    }
}

/// The minutes by position, read a block of 64 at a time through the index's source when it has one
/// (the two blocks last read are kept: a column's minutes start in one and end in another).
class MinuteCursor {
public:
    MinuteCursor(std::span<const Minute> minutes, const SeriesIndex& index) : minutes_(minutes), index_(index) {}

    const Minute& operator[](std::size_t i) {
        if (!index_.source_) return minutes_[i];
        const std::size_t block = i / kFine;
        if (block != kept_[last_].block) {
            last_ ^= 1;
            if (block != kept_[last_].block) {
                index_.source_->copy(block * kFine, std::min(kFine, minutes_.size() - block * kFine),
                                     kept_[last_].minutes.data());
                kept_[last_].block = block;
            }
        }
        return kept_[last_].minutes[i % kFine];
    }

    /// As SeriesIndex::lowerBound().
    std::size_t lowerBound(std::int64_t time, std::size_t first, std::size_t last) {
        last = std::min(last, minutes_.size());
        if (first >= last) return last;
        const auto& fine = index_.fine_;
        if (index_.size_ != minutes_.size()) {
            const auto before = [](const Minute& m, std::int64_t t) { return m.time < t; };
            return static_cast<std::size_t>(
                std::lower_bound(minutes_.begin() + first, minutes_.begin() + last, time, before) - minutes_.begin());
        }
        // The first block that starts at or after the time: the minute sought is in the block before
        // it, or is that block's first.
        const auto block = static_cast<std::size_t>(
            std::lower_bound(fine.begin(), fine.end(), time,
                             [](const SeriesIndex::Block& b, std::int64_t t) { return b.firstTime < t; }) -
            fine.begin());
        std::size_t found = std::min(block * kFine, minutes_.size());
        if (block > 0) {
            std::size_t i = (block - 1) * kFine + 1;  // that block's first is before the time
            while (i < found && (*this)[i].time < time) ++i;
            found = i;
        }
        return std::clamp(found, first, last);
    }

    /// As SeriesIndex::summarise().
    void summarise(std::size_t first, std::size_t last, Summary& cpm, Summary& dose) {
        const auto& fine = index_.fine_;
        const auto& coarse = index_.coarse_;
        last = std::min(last, index_.size_);
        const auto one = [&](std::size_t i) {
            const Minute& m = (*this)[i];
            cpm.add(m.cpm);
            dose.add(m.dose);
        };
        // Single minutes up to a block's start, then the largest blocks that fit, then single minutes.
        while (first < last && first % kFine != 0) one(first++);
        while (first < last && first % kCoarse != 0 && first + kFine <= last) {
            cpm.add(fine[first / kFine].cpm);
            dose.add(fine[first / kFine].dose);
            first += kFine;
        }
        while (first + kCoarse <= last) {
            cpm.add(coarse[first / kCoarse].cpm);
            dose.add(coarse[first / kCoarse].dose);
            first += kCoarse;
        }
        while (first + kFine <= last) {
            cpm.add(fine[first / kFine].cpm);
            dose.add(fine[first / kFine].dose);
            first += kFine;
        }
        while (first < last) one(first++);
    }

private:
    std::span<const Minute> minutes_;
    const SeriesIndex& index_;
    struct Kept {
        std::size_t block = static_cast<std::size_t>(-1);
        std::array<Minute, kFine> minutes;
    };
    Kept kept_[2];
    int last_ = 0;
};

void SeriesIndex::summarise(std::span<const Minute> minutes, std::size_t first, std::size_t last, Summary& cpm,
                            Summary& dose) const {
    MinuteCursor(minutes, *this).summarise(first, last, cpm, dose);
}

std::size_t SeriesIndex::lowerBound(std::span<const Minute> minutes, std::int64_t time, std::size_t first,
                                    std::size_t last) const {
    return MinuteCursor(minutes, *this).lowerBound(time, first, last);
}

IndexRange minutesWithin(std::span<const Minute> minutes, TimeSpan span, const SeriesIndex* index) {
    if (!index || index->size() != minutes.size()) return minutesWithin(minutes, span);
    MinuteCursor cursor(minutes, *index);
    const std::size_t first = cursor.lowerBound(span.from, 0, minutes.size());
    return {first, std::max(first, cursor.lowerBound(span.to, first, minutes.size()))};
}

std::vector<Bucket> reduce(std::span<const Minute> minutes, TimeSpan span, int columns, const SeriesIndex* index) {
    std::vector<Bucket> buckets;
    if (columns <= 0 || span.length() <= 0) return buckets;
    buckets.resize(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) buckets[c].span = columnSpan(span, columns, c);
    const IndexRange within = minutesWithin(minutes, span, index);
    if (index && index->size() == minutes.size() && within.size() > kFine * static_cast<std::size_t>(columns)) {
        // Many minutes to a column: each column's minutes found by their time, summed by blocks, and
        // only the minutes at the columns' edges read.
        MinuteCursor cursor(minutes, *index);
        std::size_t first = within.first;
        for (Bucket& b : buckets) {
            const std::size_t last = cursor.lowerBound(b.span.to, first, within.last);
            if (last > first) {
                b.minutes = {first, last};
                const std::int64_t lastTime = cursor[last - 1].time;
                cursor.summarise(first, last, b.cpm, b.dose);
                b.joinsNext = last < within.last && joined(lastTime, cursor[last].time);
            }
            first = last;
        }
        return buckets;
    } else {
        std::size_t column = 0;
        for (std::size_t i = within.first; i < within.last; ++i) {
            const Minute& m = minutes[i];
            while (m.time >= buckets[column].span.to) ++column;
            Bucket& b = buckets[column];
            if (b.empty()) b.minutes = {i, i};
            ++b.minutes.last;
            b.cpm.add(m.cpm);
            b.dose.add(m.dose);
        }
    }
    for (Bucket& b : buckets) {
        const std::size_t next = b.minutes.last;
        b.joinsNext = !b.empty() && next < within.last && joined(minutes[next - 1].time, minutes[next].time);
    }
    return buckets;
}

}  // namespace rx47::history
