// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/csv_export.h"

#include <algorithm>
#include <string>
#include <vector>

#include "history/local_time.h"

namespace rx47::history {

namespace {

/// Minutes read from a source at a time.
constexpr std::size_t kPart = 4096;

void field(std::string& line, const std::string& text) {
    line += ',';
    line += text;
}

}  // namespace

std::size_t writeCsv(std::ostream& out, std::span<const Minute> minutes, TimeSpan span, const MinuteSource* source) {
    out << kCsvHeader << '\n';
    const IndexRange within = minutesWithin(minutes, span);
    std::vector<Minute> copied;
    std::string line;
    for (std::size_t first = within.first; first < within.last;) {
        const std::size_t count = std::min(kPart, within.last - first);
        std::span<const Minute> part = minutes.subspan(first, count);
        if (source) {
            copied.resize(count);
            source->copy(first, count, copied.data());
            part = copied;
        }
        for (const Minute& m : part) {
            line = isoText(m.time);
            field(line, figureText(m.cpm));
            field(line, doseFigureText(m.dose));
            field(line, figureText(m.averageCpm));
            field(line, doseFigureText(m.averageDose));
            field(line, figureText(m.totalCount));
            line += '\n';
            out << line;
        }
        first += count;
    }
    return within.size();
}

}  // namespace rx47::history
