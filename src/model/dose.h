// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Converting a CPM count into the dose-rate text in μSv/h that the window shows, draws, records and
// compares with the dose alarm level.
#pragma once

#include <cstdint>
#include <string>

namespace rx47 {

struct Context;

/// The dose rate of a CPM value: cpm ÷ gamma coefficient, truncated to thousandths, at least five
/// characters ("0.208", "12.50", "123.5"). With no coefficient known yet the result is "": a
/// non-zero count then loads the coefficient from column `gkeisuu`, and a zero count means nothing
/// has been heard from the device, so the device-not-found handling runs.
std::string formatDose(Context& ctx, std::int32_t cpm);

/// The dose text of a CPM value for a known, non-zero coefficient.
std::string doseText(std::int32_t cpm, std::uint16_t gammaCoefficient);

}  // namespace rx47
