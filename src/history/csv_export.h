// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The records of a span as UTF-8 CSV for other tools: a header line, then one line per recorded
// minute with its time in ISO 8601 with the UTC offset of that moment, the minute's CPM and dose
// rate, the running average (CPM and dose rate) and the device's total count. An empty caption stays
// an empty field.
#pragma once

#include <ostream>
#include <span>

#include "history/record_reader.h"
#include "history/series.h"

namespace rx47::history {

inline constexpr const char* kCsvHeader = "time,cpm,dose_usv_h,average_cpm,average_dose_usv_h,total_count";

/// Writes the minutes within `span`; returns how many lines of minutes it wrote. With a `source`,
/// the minutes are copied from it a few thousand at a time (ten years mapped from the cache are then
/// not all brought into memory).
std::size_t writeCsv(std::ostream& out, std::span<const Minute> minutes, TimeSpan span,
                     const MinuteSource* source = nullptr);

}  // namespace rx47::history
