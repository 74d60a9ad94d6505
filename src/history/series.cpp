// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/series.h"

#include <algorithm>

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

std::vector<Bucket> reduce(std::span<const Minute> minutes, TimeSpan span, int columns) {
    std::vector<Bucket> buckets;
    if (columns <= 0 || span.length() <= 0) return buckets;
    buckets.resize(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) buckets[c].span = columnSpan(span, columns, c);
    const IndexRange within = minutesWithin(minutes, span);
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
    for (Bucket& b : buckets) {
        const std::size_t next = b.minutes.last;
        b.joinsNext = !b.empty() && next < within.last && joined(minutes[next - 1].time, minutes[next].time);
    }
    return buckets;
}

}  // namespace rx47::history
