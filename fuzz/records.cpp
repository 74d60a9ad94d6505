// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The history viewer's record reader over any bytes: it never throws, every line is counted once,
// and reading the bytes in two pieces (as the follower does with a growing file) gives exactly what
// one read of the whole gives.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "harness.h"
#include "history/record_reader.h"

namespace {

using rx47::history::LineCounts;
using rx47::history::Minute;
using rx47::history::ReadResult;

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

bool same(const Minute& a, const Minute& b) {
    return a.time == b.time && same(a.totalCount, b.totalCount) && same(a.averageCpm, b.averageCpm) &&
           same(a.averageDose, b.averageDose) && same(a.cpm, b.cpm) && same(a.dose, b.dose);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte places the cut between the two pieces; the rest is the file.
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t cut = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);

    const ReadResult whole = rx47::history::readRecords(bytes);
    FUZZ_CHECK(whole.counts.records == whole.minutes.size(), "%zu records for %zu minutes", whole.counts.records,
               whole.minutes.size());
    FUZZ_CHECK(whole.consumed <= bytes.size(), "consumed %zu of %zu bytes", whole.consumed, bytes.size());
    const std::size_t lineEnds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
    const bool torn = !bytes.empty() && bytes.back() != '\n';
    const auto& c = whole.counts;
    FUZZ_CHECK(c.records + c.headers + c.foreign + c.malformed + c.torn == lineEnds + (torn ? 1 : 0),
               "%zu lines counted as %zu", lineEnds + (torn ? 1 : 0),
               c.records + c.headers + c.foreign + c.malformed + c.torn);

    // The follower's way: the first piece without its end, then what it left unread with the rest.
    ReadResult pieces;
    rx47::history::readRecords(bytes.substr(0, cut), false, pieces);
    FUZZ_CHECK(pieces.counts.torn == 0, "a line counted torn before the end");
    const std::size_t resumeAt = pieces.consumed;
    FUZZ_CHECK(resumeAt <= cut, "consumed %zu of a %zu-byte piece", resumeAt, cut);
    rx47::history::readRecords(bytes.substr(resumeAt), true, pieces);
    FUZZ_CHECK(pieces.minutes.size() == whole.minutes.size(), "%zu minutes in pieces, %zu whole", pieces.minutes.size(),
               whole.minutes.size());
    for (std::size_t i = 0; i < whole.minutes.size(); ++i)
        FUZZ_CHECK(same(pieces.minutes[i], whole.minutes[i]), "minute %zu differs when read in pieces", i);
    FUZZ_CHECK(pieces.counts.records == c.records && pieces.counts.headers == c.headers &&
                   pieces.counts.foreign == c.foreign && pieces.counts.malformed == c.malformed &&
                   pieces.counts.torn == c.torn,
               "the lines were counted differently in pieces");

    // A daily file counted without its figures: only when every line is a header or a line of that
    // day, and then those are the lines read in full as records or as malformed ones.
    for (const std::string_view date : {std::string_view("2026-05-07"), bytes.substr(0, 10)}) {
        LineCounts counted;
        std::size_t consumed = 0;
        if (!rx47::history::countDayLines(bytes, date, counted, consumed)) continue;
        FUZZ_CHECK(consumed == whole.consumed, "counting consumed %zu bytes, reading %zu", consumed, whole.consumed);
        FUZZ_CHECK(c.foreign == 0 && counted.headers == c.headers && counted.records == c.records + c.malformed,
                   "counted %zu records and %zu headers, read %zu, %zu malformed, %zu headers, %zu foreign",
                   counted.records, counted.headers, c.records, c.malformed, c.headers, c.foreign);
    }
    return 0;
}
