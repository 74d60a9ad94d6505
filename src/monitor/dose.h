// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dose caption of a count where the monitor shows one (the real-time reading, the minute's
// average, maximum, minimum and running average): the dose text, and what a missing coefficient
// means for the link.
#pragma once

#include <cstdint>
#include <string>

#include "model/quantities.h"

namespace rx47 {

struct Context;

/// The dose text of a CPM value (its DoseRate's truncated text) with the coefficient known. With none
/// known yet the result is "": a non-zero count then loads the coefficient from column `gkeisuu`, and
/// a zero count means nothing has been heard from the device (0 ÷ 0), so the device-not-found
/// handling runs.
std::string formatDose(Context& ctx, Cpm cpm);
/// The same for a whole count the monitor keeps as a number (the minute's average, maximum, minimum).
inline std::string formatDose(Context& ctx, std::int32_t cpm) {
    return formatDose(ctx, Cpm(cpm));
}

}  // namespace rx47
