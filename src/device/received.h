// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the counter sent, read as it means it: a status report (its tags "gms:" gamma coefficient,
// "atc:" CPM alarm level, "ttc:" total count) or a reading (a bare number of counts per minute).
// Plain values only: what the monitor makes of them is the monitor's business.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rx47 {

class SerialPort;

/// Readings the counter sends lie in 1…1000; 0, negatives (line noise such as "-5") and more are not
/// counts it sends.
inline constexpr double kHighestReading = 1000;

struct Received {
    std::string text;  ///< everything taken from the port at once ("" when nothing or it failed)
    /// "gms:" is in the text and its number fits a coefficient; nothing when absent or unreadable.
    std::optional<std::uint16_t> gammaCoefficient;
    bool alarmLevelTag = false;               ///< "atc:" is in the text
    std::optional<std::uint16_t> alarmLevel;  ///< its number, when it fits a level
    bool statusReport = false;                ///< "ttc:" is in the text: a status report, never a reading
    std::optional<double> totalCount;         ///< its number, when it can be held
    double reading = 0;                       ///< the text as a number; 0 when it is none
    /// Whether the text is a reading the counter sends (never a status report).
    bool validReading() const { return !statusReport && reading > 0 && reading <= kHighestReading; }
};

/// Reads a received text.
Received readReceived(std::string text);

/// Takes everything the port holds and reads it; a port that cannot be read gives an empty text.
Received receive(SerialPort& port);

/// The number of the (at most) nine characters that follow the first occurrence of a tag; nothing
/// when the text has no such tag. Throws Overflow for a number beyond a double.
std::optional<double> tagValue(std::string_view text, std::string_view tag);

}  // namespace rx47
