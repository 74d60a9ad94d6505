// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/series.h"

#include <algorithm>
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

Bucket bucketAt(std::span<const Minute> minutes, TimeSpan span, int columns, int column) {
    if (columns <= 0 || column < 0 || column >= columns || span.length() <= 0) return {};
    const TimeSpan own = columnSpan(span, columns, column);
    Bucket b = reduce(minutes, own, 1).front();
    // Whether a line leaves it is decided over the whole view, as reduce() does.
    const IndexRange view = minutesWithin(minutes, span);
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

std::size_t SeriesIndex::lowerBound(std::span<const Minute> minutes, std::int64_t time, std::size_t first,
                                    std::size_t last) const {
    last = std::min(last, minutes.size());
    if (first >= last) return last;
    const auto before = [](const Minute& m, std::int64_t t) { return m.time < t; };
    if (size_ != minutes.size())
        return static_cast<std::size_t>(
            std::lower_bound(minutes.begin() + first, minutes.begin() + last, time, before) - minutes.begin());
    // The first block that starts at or after the time: the minute sought is in the block before it,
    // or is that block's first.
    const auto block =
        static_cast<std::size_t>(std::lower_bound(fine_.begin(), fine_.end(), time,
                                                  [](const Block& b, std::int64_t t) { return b.firstTime < t; }) -
                                 fine_.begin());
    const std::size_t to = std::min(block * kFine, minutes.size());
    const std::size_t from = block == 0 ? 0 : (block - 1) * kFine;
    const auto found = static_cast<std::size_t>(
        std::lower_bound(minutes.begin() + from, minutes.begin() + to, time, before) - minutes.begin());
    return std::clamp(found, first, last);
}

IndexRange minutesWithin(std::span<const Minute> minutes, TimeSpan span, const SeriesIndex* index) {
    if (!index || index->size() != minutes.size()) return minutesWithin(minutes, span);
    const std::size_t first = index->lowerBound(minutes, span.from, 0, minutes.size());
    return {first, std::max(first, index->lowerBound(minutes, span.to, first, minutes.size()))};
}

void SeriesIndex::summarise(std::span<const Minute> minutes, std::size_t first, std::size_t last, Summary& cpm,
                            Summary& dose) const {
    last = std::min(last, size_);
    const auto one = [&](std::size_t i) {
        cpm.add(minutes[i].cpm);
        dose.add(minutes[i].dose);
    };
    // Single minutes up to a block's start, then the largest blocks that fit, then single minutes.
    while (first < last && first % kFine != 0) one(first++);
    while (first < last && first % kCoarse != 0 && first + kFine <= last) {
        cpm.add(fine_[first / kFine].cpm);
        dose.add(fine_[first / kFine].dose);
        first += kFine;
    }
    while (first + kCoarse <= last) {
        cpm.add(coarse_[first / kCoarse].cpm);
        dose.add(coarse_[first / kCoarse].dose);
        first += kCoarse;
    }
    while (first + kFine <= last) {
        cpm.add(fine_[first / kFine].cpm);
        dose.add(fine_[first / kFine].dose);
        first += kFine;
    }
    while (first < last) one(first++);
}

std::vector<Bucket> reduce(std::span<const Minute> minutes, TimeSpan span, int columns, const SeriesIndex* index) {
    std::vector<Bucket> buckets;
    if (columns <= 0 || span.length() <= 0) return buckets;
    buckets.resize(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) buckets[c].span = columnSpan(span, columns, c);
    const IndexRange within = minutesWithin(minutes, span, index);
    if (index && index->size() == minutes.size() && within.size() > kFine * static_cast<std::size_t>(columns)) {
        // Many minutes to a column: each column's minutes found by their time, summed by blocks.
        std::size_t first = within.first;
        for (Bucket& b : buckets) {
            const std::size_t last = index->lowerBound(minutes, b.span.to, first, within.last);
            if (last > first) {
                b.minutes = {first, last};
                index->summarise(minutes, first, last, b.cpm, b.dose);
            }
            first = last;
        }
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
