// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/local_time.h"

#include <cstdio>
#include <ctime>

namespace rx47 {

LocalFields localFields(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    LocalFields f;
    if (!::localtime_r(&t, &tm)) return f;
    f.year = tm.tm_year + 1900;
    f.month = tm.tm_mon + 1;
    f.day = tm.tm_mday;
    f.hour = tm.tm_hour;
    f.minute = tm.tm_min;
    f.second = tm.tm_sec;
    f.weekday = tm.tm_wday;
    f.utcOffset = tm.tm_gmtoff;
    return f;
}

std::optional<std::int64_t> localSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && !(year == 1969 && month == 12 && day == 31)) return std::nullopt;
    return static_cast<std::int64_t>(t);
}

std::string isoText(std::int64_t seconds) {
    const LocalFields f = localFields(seconds);
    const long offset = f.utcOffset < 0 ? -f.utcOffset : f.utcOffset;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", f.year, f.month, f.day, f.hour,
                  f.minute, f.second, f.utcOffset < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
    return buffer;
}

}  // namespace rx47
