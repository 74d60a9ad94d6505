// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/local_time.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace rx47::history {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

/// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::string format(const char* pattern, int a, int b, int c = 0, int d = 0, int e = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c, d, e);
    return buffer;
}

constexpr std::int64_t kDay = 86400;

}  // namespace

std::string shortText(std::int64_t seconds) {
    const LocalFields f = localFields(seconds);
    return format("%04d-%02d-%02d %02d:%02d", f.year, f.month, f.day, f.hour, f.minute);
}

std::string zoneText(TimeSpan span) {
    // A zone holds for months: samples a thousandth of the span apart (at least an hour) find each
    // one, a few thousand calls at the most however long the records.
    const std::int64_t step = std::max<std::int64_t>(3600, span.length() / 1000);
    std::vector<std::string> zones;
    const auto add = [&](std::int64_t seconds) {
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm tm{};
        if (!::localtime_r(&t, &tm)) return;
        const long offset = tm.tm_gmtoff;
        const long minutes = (offset < 0 ? -offset : offset) / 60;
        const std::string digits = format("%c%02d:%02d", offset < 0 ? '-' : '+', static_cast<int>(minutes / 60),
                                          static_cast<int>(minutes % 60));
        const std::string abbreviation = tm.tm_zone ? tm.tm_zone : "";
        const std::string text = abbreviation.empty() || abbreviation[0] == '+' || abbreviation[0] == '-'
                                     ? "UTC" + digits
                                     : abbreviation + " (" + digits + ")";
        if (std::find(zones.begin(), zones.end(), text) == zones.end()) zones.push_back(text);
    };
    for (std::int64_t t = span.from; t < span.to; t += step) add(t);
    add(span.length() > 0 ? span.to - 1 : span.from);
    std::string text;
    for (const std::string& zone : zones) text += (text.empty() ? "" : " / ") + zone;
    return text;
}

int digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

bool validDate(int y, int m, int d) {
    return y >= 0 && m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

std::optional<std::int64_t> parseIsoTime(std::string_view text) {
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !validDate(year, month, day)) return std::nullopt;
    int hour = 0, minute = 0, second = 0;
    std::size_t i = 10;
    if (i < text.size()) {
        if (text[i] != 'T' && text[i] != 't' && text[i] != ' ') return std::nullopt;
        hour = digits(text, i + 1, 2);
        minute = digits(text, i + 4, 2);
        if (hour < 0 || hour > 23 || i + 3 >= text.size() || text[i + 3] != ':' || minute < 0 || minute > 59)
            return std::nullopt;
        i += 6;
        if (i < text.size() && text[i] == ':') {
            second = digits(text, i + 1, 2);
            if (second < 0 || second > 59) return std::nullopt;
            i += 3;
        }
    } else {
        return localSeconds(year, month, day);
    }
    if (i == text.size()) return localSeconds(year, month, day, hour, minute, second);

    // An explicit offset: the moment is fixed whatever the local zone.
    long offset = 0;
    if ((text[i] == 'Z' || text[i] == 'z') && i + 1 == text.size()) {
        offset = 0;
    } else if (text[i] == '+' || text[i] == '-') {
        const int sign = text[i] == '-' ? -1 : 1;
        const int oh = digits(text, i + 1, 2);
        int om = 0;
        std::size_t end = i + 3;
        if (end < text.size()) {
            if (text[end] == ':') ++end;
            om = digits(text, end, 2);
            end += 2;
        }
        if (oh < 0 || oh > 23 || om < 0 || om > 59 || end != text.size()) return std::nullopt;
        offset = sign * (oh * 3600L + om * 60L);
    } else {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * kDay + hour * 3600 + minute * 60 + second - offset;
}

std::vector<TimeTick> timeTicks(TimeSpan span, int pixels, int spacing) {
    std::vector<TimeTick> ticks;
    if (span.length() <= 0 || pixels <= 0) return ticks;
    const double secondsPerPixel = static_cast<double>(span.length()) / pixels;
    const double wanted = secondsPerPixel * spacing;

    const auto add = [&](std::optional<std::int64_t> t, std::string label, bool major) {
        if (t && *t >= span.from && *t <= span.to && (ticks.empty() || ticks.back().time < *t))
            ticks.push_back({*t, std::move(label), major});
    };
    const LocalFields start = localFields(span.from);

    static constexpr int kMinuteSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 180, 360, 720};
    for (int step : kMinuteSteps) {
        if (step * 60.0 < wanted) continue;
        // Round times of each local day: midnight, then every step minutes.
        for (auto day = localSeconds(start.year, start.month, start.day); day && *day <= span.to;) {
            const LocalFields d = localFields(*day);
            for (int m = 0; m < 24 * 60; m += step) {
                const bool midnight = m == 0;
                add(localSeconds(d.year, d.month, d.day, m / 60, m % 60),
                    midnight ? format("%02d-%02d", d.month, d.day) : format("%02d:%02d", m / 60, m % 60), midnight);
            }
            day = localSeconds(d.year, d.month, d.day + 1);
        }
        return ticks;
    }
    static constexpr int kDaySteps[] = {1, 2, 7, 14};
    for (int step : kDaySteps) {
        if (step * static_cast<double>(kDay) < wanted) continue;
        for (auto day = localSeconds(start.year, start.month, start.day); day && *day <= span.to;) {
            const LocalFields d = localFields(*day);
            const std::int64_t index = daysFromCivil(d.year, d.month, d.day);
            // Weeks begin on Monday; every other day counts from a fixed day.
            const bool due = step >= 7 ? d.weekday == 1 && (index / 7) % (step / 7) == 0 : index % step == 0;
            if (due) add(day, format("%02d-%02d", d.month, d.day), d.day == 1 || (step >= 7 && d.day <= 7));
            day = localSeconds(d.year, d.month, d.day + 1);
        }
        return ticks;
    }
    static constexpr int kMonthSteps[] = {1, 2, 3, 6, 12, 24, 60, 120, 600};
    for (int step : kMonthSteps) {
        if (step * 30.44 * kDay < wanted && step != 600) continue;
        for (int y = start.year, m = start.month;;) {
            const auto first = localSeconds(y, m, 1);
            if (!first || *first > span.to) break;
            if ((y * 12 + m - 1) % step == 0) add(first, format("%04d-%02d", y, m), m == 1);
            if (++m > 12) m = 1, ++y;
        }
        break;
    }
    return ticks;
}

}  // namespace rx47::history
