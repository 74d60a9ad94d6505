// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/dose.h"

#include "base/number.h"

namespace rx47 {

std::string doseText(std::int32_t cpm, std::uint16_t gammaCoefficient) {
    // Truncated to thousandths, not rounded, from the exact quotient: in floating point an exact
    // value such as 201 / 100 = 2.01 may come out just below it and lose a unit.
    const std::int64_t thousandths = std::int64_t{cpm} * 1000;
    std::int64_t truncated = thousandths / gammaCoefficient;
    if (thousandths % gammaCoefficient != 0 && thousandths < 0) --truncated;  // floor, also below 0
    const double q = static_cast<double>(truncated) / 1000;
    return padDoseText(decimalText(q));
}

std::string padDoseText(std::string text) {
    if (text.size() >= 5 || text.find_first_of("eE") != std::string::npos) return text;
    if (text.find('.') == std::string::npos) text += '.';
    while (text.size() < 5) text += '0';
    return text;
}

double doseValue(std::int32_t cpm, std::uint16_t gammaCoefficient) {
    // The value the text reads back as, so the graph and the captions never disagree.
    return gammaCoefficient == 0 ? 0 : readNumber(doseText(cpm, gammaCoefficient));
}

}  // namespace rx47
