// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Local times as numbers and as ISO 8601 texts: the machine's time zone (TZ), through the C library.
// The records, the metrics file and the alarm command all speak of one moment the same way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rx47 {

/// The broken-down local time of a moment.
struct LocalFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int weekday = 0;     ///< 0 Sunday … 6 Saturday
    long utcOffset = 0;  ///< seconds east of UTC at that moment
};
LocalFields localFields(std::int64_t seconds);

/// Seconds since the epoch of a local date and time; nullopt when the C library cannot place it.
std::optional<std::int64_t> localSeconds(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

/// "2026-05-05T12:00:00+09:00": the local time of a moment with the offset that held then.
std::string isoText(std::int64_t seconds);

}  // namespace rx47
