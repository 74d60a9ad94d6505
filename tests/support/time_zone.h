// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A time zone for one test: TZ set (a POSIX rule, so no zone files are needed) and put back after.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace rx47::test {

/// Japan: UTC+9 all year.
inline constexpr const char* kJapan = "JST-9";
/// Central Europe with summer time (last Sunday of March 02:00 to last Sunday of October 03:00).
inline constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
/// The US Eastern zone (second Sunday of March 02:00 to first Sunday of November 02:00, set back to
/// 01:00: the hour from 01:00 comes twice).
inline constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";

class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (had_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::string old_;
    bool had_ = false;
};

}  // namespace rx47::test
