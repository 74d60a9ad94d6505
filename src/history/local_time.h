// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Times as people write and read them: ISO 8601 texts with the local UTC offset, the dates and
// date-times of the command line, and the short texts of the plot's time axis. Everything in the
// machine's local time zone (TZ), through the C library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/local_time.h"
#include "history/series.h"

namespace rx47::history {

// The local time of a moment, the moment of a local time and its ISO 8601 text, shared with the
// monitor.
using rx47::isoText;
using rx47::LocalFields;
using rx47::localFields;
using rx47::localSeconds;

/// A date or date-time of the command line: "2026-05-05", "2026-05-05T12:00", "2026-05-05T12:00:00"
/// (a space may stand for the T), local time unless it ends with "Z" or an offset ("+09:00",
/// "+0900", "+09"). nullopt for anything else, a date that does not exist included.
/// The value of `count` digits at `at` of a text, or -1 when any is not a digit or the text ends first.
int digits(std::string_view text, std::size_t at, std::size_t count);
/// The days of month m (1…12) of year y of the proleptic Gregorian calendar.
int daysInMonth(int y, int m);
/// Whether y-m-d is a date (a year from 0 on).
bool validDate(int y, int m, int d);

std::optional<std::int64_t> parseIsoTime(std::string_view text);

/// "2026-05-05 12:00": a moment in the window's texts.
std::string shortText(std::int64_t seconds);

/// The time zone of the time axis: its abbreviation and UTC offset, "JST (+09:00)" ("UTC+04:00" for
/// a zone whose abbreviation is only its offset). Where the clock changes within `span`, each zone
/// in force there in the order they first hold, "EST (-05:00) / EDT (-04:00)": the axis marks of
/// both are in local time, so neither alone would name them all.
std::string zoneText(TimeSpan span);

/// A mark on the time axis.
struct TimeTick {
    std::int64_t time = 0;
    std::string label;
    bool major = false;  ///< a new day (or month, or year) begins here
};

/// Marks for the time axis of `span` drawn over `pixels`, at least `spacing` pixels apart, on round
/// local times (whole minutes, hours, midnights, Mondays, firsts of a month).
std::vector<TimeTick> timeTicks(TimeSpan span, int pixels, int spacing);

}  // namespace rx47::history
