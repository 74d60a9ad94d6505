// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dose rate of a CPM count, as the text in μSv/h that the window shows, draws, records and
// compares with the dose alarm level.
#pragma once

#include <cstdint>
#include <string>

namespace rx47 {

/// The dose text of a CPM value for a known, non-zero coefficient: cpm ÷ gamma coefficient,
/// truncated to thousandths, at least five characters ("0.208", "12.50", "123.5"); the
/// DoseRate's truncatedText.
std::string doseText(std::int32_t cpm, std::uint16_t gammaCoefficient);

/// A dose figure as the window writes it: a point and zeros added up to five characters ("0.2" is
/// "0.200", "12.5" is "12.50"); longer texts and exponents stay as they are.
std::string padDoseText(std::string text);

}  // namespace rx47
