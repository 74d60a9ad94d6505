// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/record_reader.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <exception>
#include <limits>
#include <string>
#include <utility>

#include "base/number.h"
#include "history/local_time.h"
#include "model/dose.h"
#include "storage/records.h"

namespace rx47::history {

namespace {

constexpr std::size_t kFields = kRecordFields;

/// The header lines in the file's code page; empty when the code page cannot be had (the headers
/// are then counted as foreign lines, which is all that changes), and `problem` says why.
struct Headers {
    std::string first;
    std::string second;
    std::string problem;
    Headers() {
        try {
            first = toCodePage932(kRecordHeader1);
            second = toCodePage932(kRecordHeader2);
        } catch (const std::exception& e) {
            first.clear();
            second.clear();
            problem = e.what();
        }
    }
};

const Headers& headers() {
    static const Headers h;
    return h;
}

}  // namespace

std::string recordHeaderProblem() {
    return headers().problem;
}

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// Whether a caption has the shape of a number as the window writes one: digits with an optional
/// sign, point and exponent ("24", "0.208", "1E+16"). An empty caption is allowed too.
bool numberShaped(std::string_view f) {
    std::size_t i = 0;
    if (i < f.size() && (f[i] == '+' || f[i] == '-')) ++i;
    bool any = false;
    while (i < f.size() && isDigit(f[i])) ++i, any = true;
    if (i < f.size() && f[i] == '.') {
        ++i;
        while (i < f.size() && isDigit(f[i])) ++i, any = true;
    }
    if (!any) return false;
    if (i < f.size() && (f[i] == 'E' || f[i] == 'e' || f[i] == 'D' || f[i] == 'd')) {
        ++i;
        if (i < f.size() && (f[i] == '+' || f[i] == '-')) ++i;
        bool exponent = false;
        while (i < f.size() && isDigit(f[i])) ++i, exponent = true;
        if (!exponent) return false;
    }
    return i == f.size();
}

/// The usual caption ("25", "0.208", "5432"): at most 15 digits with an optional point. Its value
/// is the whole number of its digits divided by a power of ten, both exact in a double, so the one
/// rounding of the division gives the nearest double, as the number rule does; a year of lines
/// reads several times faster this way.
bool plainDecimal(std::string_view f, double& out) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t whole = 0;
    int count = 0, decimals = 0;
    bool point = false;
    for (char c : f) {
        if (isDigit(c)) {
            whole = whole * 10 + static_cast<unsigned>(c - '0');
            ++count;
            decimals += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (count == 0 || count > 15) return false;
    out = static_cast<double>(whole) / kPowersOfTen[decimals];
    return true;
}

/// A caption's value through the program's number rule; false when it is not a number that fits.
bool captionValue(std::string_view f, double& out) {
    if (f.empty()) {
        out = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (plainDecimal(f, out)) return true;
    if (!numberShaped(f)) return false;
    try {
        out = readNumber(f);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool captionValue(std::string_view f, float& out) {
    double value = 0;
    if (!captionValue(f, value)) return false;
    out = static_cast<float>(value);
    // A number beyond a float is no caption the window ever showed.
    return f.empty() || std::abs(out) <= std::numeric_limits<float>::max();
}

enum class Kind { Record, Header, Foreign, Malformed };

Kind readLine(std::string_view line, LocalTimes& times, std::optional<std::int64_t> previous, Minute& out) {
    // A record line starts with its date: four digits and a dash.
    if (line.size() < 5 || digits(line, 0, 4) < 0 || line[4] != '-') {
        const Headers& h = headers();
        if (!h.first.empty() && (line == h.first || line == h.second)) return Kind::Header;
        return Kind::Foreign;
    }
    // The fields are a few bytes each: one pass over the line finds the commas faster than a search
    // per field.
    std::string_view fields[kFields];
    std::size_t count = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != ',') continue;
        if (count == kFields - 1) return Kind::Malformed;
        fields[count++] = line.substr(start, i - start);
        start = i + 1;
    }
    if (count != kFields - 1) return Kind::Malformed;
    fields[count] = line.substr(start);

    const std::string_view date = fields[kDateField];
    const std::string_view time = fields[kTimeField];
    if (date.size() != 10 || date[4] != '-' || date[7] != '-') return Kind::Malformed;
    if (time.size() != 8 || time[2] != ':' || time[5] != ':') return Kind::Malformed;
    const int year = digits(date, 0, 4), month = digits(date, 5, 2), day = digits(date, 8, 2);
    const int hour = digits(time, 0, 2), minute = digits(time, 3, 2), second = digits(time, 6, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return Kind::Malformed;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return Kind::Malformed;

    Minute m;
    if (!times.seconds(year, month, day, hour, minute, second, m.time, previous)) return Kind::Malformed;
    // The viewer's average is the monitor's running average; its CPM and dose, the minute's.
    if (!captionValue(fields[kTotalCountField], m.totalCount) ||
        !captionValue(fields[kRunningCpmField], m.averageCpm) ||
        !captionValue(fields[kRunningDoseField], m.averageDose) || !captionValue(fields[kAverageCpmField], m.cpm) ||
        !captionValue(fields[kAverageDoseField], m.dose))
        return Kind::Malformed;
    // The maximum and minimum are not kept, but a line with nonsense in them is no record line.
    for (std::size_t i = kMaxCpmField; i < kFields; ++i)
        if (!fields[i].empty() && !numberShaped(fields[i])) return Kind::Malformed;
    out = m;
    return Kind::Record;
}

}  // namespace

namespace {

template <class Number>
std::string shortest(Number v) {
    if (v != v) return {};
    // Plain digits over the range where the window writes plain digits (below 1E+15 and from
    // 0.0001), as a script reading the column as a whole number expects ("2000000", never "2e+06");
    // an exponent beyond it, where the window writes one too.
    const Number magnitude = v < 0 ? -v : v;
    const bool plain = magnitude == 0 || (magnitude >= Number(1e-4) && magnitude < Number(1e15));
    char buffer[48];
    const auto [end, error] = plain ? std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed)
                                    : std::to_chars(buffer, buffer + sizeof buffer, v);
    return error == std::errc() ? std::string(buffer, end) : std::string();
}

}  // namespace

std::string figureText(float value) {
    return shortest(value);
}
std::string figureText(double value) {
    return shortest(value);
}

std::string doseFigureText(float value) {
    // The dose captions are thousandths written shortest and padded as the window pads them.
    std::string s = shortest(value);
    return s.empty() ? s : padDoseText(std::move(s));
}

LineCounts& LineCounts::operator+=(const LineCounts& other) {
    records += other.records;
    headers += other.headers;
    foreign += other.foreign;
    malformed += other.malformed;
    torn += other.torn;
    return *this;
}

namespace {

/// The UTC offset in force at a moment.
std::optional<long> offsetAt(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!::localtime_r(&t, &tm)) return std::nullopt;
    return tm.tm_gmtoff;
}

}  // namespace

bool LocalTimes::seconds(int year, int month, int day, int hour, int minute, int second, std::int64_t& out,
                         std::optional<std::int64_t> previous) {
    constexpr std::int64_t kDay = 86400;
    const std::int64_t key = ((static_cast<std::int64_t>(year) * 13 + month) * 32 + day) * 24 + hour;
    if (key != key_) {
        const std::chrono::sys_days date{std::chrono::year{year} / month / day};
        const std::int64_t wall = date.time_since_epoch().count() * kDay + hour * 3600;
        // Offsets never reach a day, so the moment lies between these two; clock changes are months
        // apart, so at most one lies between them.
        const auto before = offsetAt(wall - kDay);
        const auto after = offsetAt(wall + kDay);
        if (!before || !after) return false;
        key_ = key;
        hourWall_ = wall;
        offsetBefore_ = *before;
        offsetAfter_ = *after;
    }
    const std::int64_t wall = hourWall_ + minute * 60 + second;
    if (offsetBefore_ == offsetAfter_) {
        out = wall - offsetBefore_;
        return true;
    }
    // Near a clock change the local time may stand for a moment before it, one after it, or both.
    const std::int64_t early = wall - offsetBefore_;
    const std::int64_t late = wall - offsetAfter_;
    const bool earlyHolds = offsetAt(early) == offsetBefore_;
    const bool lateHolds = offsetAt(late) == offsetAfter_;
    if (earlyHolds && lateHolds)  // the clock was set back: early comes first
        out = previous && *previous >= early ? late : early;
    else
        out = lateHolds && !earlyHolds ? late : early;
    return true;
}

bool countDayLines(std::string_view bytes, std::string_view date, LineCounts& counts, std::size_t& consumed) {
    const Headers& h = headers();
    LineCounts found;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const void* end = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
        if (!end) break;
        const std::size_t stop = static_cast<const char*>(end) - bytes.data();
        std::string_view line = bytes.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = stop + 1;
        if (!h.first.empty() && (line == h.first || line == h.second)) {
            ++found.headers;
            continue;
        }
        // "2026-05-07,09:05:00,": the day's date and a time; the figures after them are not looked at.
        if (line.size() < 20 || line.substr(0, 10) != date || line[10] != ',' || line[19] != ',' ||
            digits(line, 11, 2) < 0 || line[13] != ':' || digits(line, 14, 2) < 0 || line[16] != ':' ||
            digits(line, 17, 2) < 0)
            return false;
        ++found.records;
    }
    counts += found;
    consumed = start;
    return true;
}

void readRecords(std::string_view bytes, bool atEnd, ReadResult& into) {
    LocalTimes times;
    std::size_t start = 0;
    into.consumed = 0;
    try {
        while (start < bytes.size()) {
            const void* found = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
            if (!found) break;
            const std::size_t end = static_cast<const char*>(found) - bytes.data();
            std::string_view line = bytes.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            start = end + 1;
            into.consumed = start;
            Minute m;
            switch (readLine(line, times, into.previous, m)) {
                case Kind::Record:
                    into.minutes.push_back(m);
                    into.previous = m.time;
                    ++into.counts.records;
                    break;
                case Kind::Header:
                    ++into.counts.headers;
                    break;
                case Kind::Foreign:
                    ++into.counts.foreign;
                    break;
                case Kind::Malformed:
                    ++into.counts.malformed;
                    break;
            }
        }
    } catch (const std::exception&) {
        // Only memory can run out here; what was read so far stands.
        return;
    }
    if (atEnd && start < bytes.size()) ++into.counts.torn;
}

}  // namespace rx47::history
