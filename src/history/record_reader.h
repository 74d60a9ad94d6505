// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Reading the measurement records back: the lines of a record file, as the monitor writes them, into
// compact minutes (a time and the figures the history viewer plots). Anything else in the bytes (the
// header lines, another program's text, a line cut short) is skipped and counted; no bytes make the
// reader fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rx47::history {

inline constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

/// One recorded minute. A caption that was empty when the line was written is NaN.
struct Minute {
    std::int64_t time = 0;  ///< seconds since the epoch of the line's local date and time
    double totalCount = std::numeric_limits<double>::quiet_NaN();  ///< 検出数 (the device's total count)
    float averageCpm = kNoValue;   ///< 空間平均: the running average since start or reset
    float averageDose = kNoValue;  ///< its dose rate, μSv/h
    float cpm = kNoValue;          ///< 直近平均: the minute's CPM
    float dose = kNoValue;         ///< the minute's dose rate, μSv/h
};

/// What became of the lines read.
struct LineCounts {
    std::size_t records = 0;  ///< data lines taken
    std::size_t headers = 0;  ///< the two header lines each file starts with
    std::size_t foreign = 0;  ///< lines that are no record line at all (another program's text, binary, blank)
    std::size_t malformed =
        0;                 ///< lines that start as a record line but are not one (fields missing, a bad date or number)
    std::size_t torn = 0;  ///< a last line without its line end

    std::size_t skipped() const { return foreign + malformed + torn; }
    LineCounts& operator+=(const LineCounts& other);
};

struct ReadResult {
    std::vector<Minute> minutes;  ///< in the order of the lines
    LineCounts counts;
    std::size_t consumed = 0;  ///< bytes of the last call up to and including its last line end
    /// The moment of the last record line read so far in this file (carried from call to call): the
    /// lines of a file follow the clock, so an hour the clock repeats when it is set back comes after
    /// it a second time.
    std::optional<std::int64_t> previous;
};

/// Reads the lines of a record file. Lines end with CR LF; a bare LF is taken as well. An unterminated
/// last line is left unread (`consumed` stops before it) and counted as torn only when `atEnd` says no
/// more bytes follow; a follower reading a growing file passes false and reads it again later.
/// Appends to `into`; never throws for any bytes.
void readRecords(std::string_view bytes, bool atEnd, ReadResult& into);

/// The lines of a daily file of the day `date` ("2026-05-07") counted without reading their figures,
/// for a day whose every minute is known from the master file: records and header lines are added
/// to `counts`, and `consumed` is set as readRecords() sets it. False, with nothing counted, when a
/// complete line is neither a header line nor one that starts with that day's date and a time: the
/// file must then be read line by line.
bool countDayLines(std::string_view bytes, std::string_view date, LineCounts& counts, std::size_t& consumed);

/// Why the record files' header lines cannot be recognised (no code page 932 conversion: they are then
/// counted as foreign lines); empty when they can.
std::string recordHeaderProblem();

inline ReadResult readRecords(std::string_view bytes, bool atEnd = true) {
    ReadResult result;
    readRecords(bytes, atEnd, result);
    return result;
}

/// A figure as the window showed it: the shortest text that reads back as the same number, in plain
/// digits where the window wrote plain digits ("25", "2000000", "0.5") and with an exponent where it
/// wrote one ("1E+16" as "1e+16"); "" when nothing was recorded.
std::string figureText(float value);
std::string figureText(double value);
/// A dose rate as the window showed it: padded to at least five characters ("0.200", "12.50").
std::string doseFigureText(float value);

/// Seconds since the epoch of a local date and time (the machine's time zone), or false for a time
/// the C library cannot place. A local time that the clock shows twice (the hour repeated when the
/// clock is set back) is the earlier moment, unless `previous` (the moment of the line before it) is
/// not before that: the file's lines follow the clock, so the line was written the second time. A
/// local time the clock skips (set forward) is read with the offset that held before the change.
/// The offsets around each hour are cached, so reading a year of lines stays cheap.
class LocalTimes {
public:
    bool seconds(int year, int month, int day, int hour, int minute, int second, std::int64_t& out,
                 std::optional<std::int64_t> previous = std::nullopt);

private:
    std::int64_t key_ = -1;
    std::int64_t hourWall_ = 0;  // the hour's local date and time counted as if it were UTC
    long offsetBefore_ = 0;      // UTC offsets a day either side of it: they differ near a clock change
    long offsetAfter_ = 0;
};

}  // namespace rx47::history
