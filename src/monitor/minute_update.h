// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The per-minute update: at the first tick of each new clock minute the readings of the past minute
// become the minute's CPM, the maximum, the minimum and the running average, each with its dose;
// the graph moves on one slot, the device is asked for a status report, and the minute is recorded.
#pragma once

#include <cstdint>

namespace rx47 {

struct Context;
struct LocalDateTime;

/// Minute updates in a row that took in nothing from an open port (no reading, no report, although
/// "show" went out) before the device counts as lost.
inline constexpr int kQuietMinutesForLoss = 2;

/// A clock minute as one number: the same for every moment of one minute of one day.
std::int64_t minuteKey(const LocalDateTime& t);

/// Appends the minute's line (the readout captions, in field order) to each record file that is
/// switched on. The first failing step ends it with a Failure (a full disk, a deleted folder); the
/// next minute tries again.
void writeMeasurementRecord(Context& ctx);

/// Tick of the one-second timer. Does nothing unless the clock minute has changed.
void minuteUpdate(Context& ctx);

}  // namespace rx47
