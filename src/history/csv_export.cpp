// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/csv_export.h"

#include <string>

#include "history/local_time.h"

namespace rx47::history {

namespace {

void field(std::string& line, const std::string& text) {
    line += ',';
    line += text;
}

}  // namespace

std::size_t writeCsv(std::ostream& out, std::span<const Minute> minutes, TimeSpan span) {
    out << kCsvHeader << '\n';
    const IndexRange within = minutesWithin(minutes, span);
    std::string line;
    for (std::size_t i = within.first; i < within.last; ++i) {
        const Minute& m = minutes[i];
        line = isoText(m.time);
        field(line, figureText(m.cpm));
        field(line, doseFigureText(m.dose));
        field(line, figureText(m.averageCpm));
        field(line, doseFigureText(m.averageDose));
        field(line, figureText(m.totalCount));
        line += '\n';
        out << line;
    }
    return within.size();
}

}  // namespace rx47::history
