// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/quantities.h"

#include <cmath>

#include "base/number.h"
#include "model/dose.h"

namespace rx47 {

Cpm Cpm::roundedHalfEven(double reading) {
    return Cpm(toInt32(reading));
}

Cpm Cpm::roundedHalfUp(double average) {
    return Cpm(toInt32(std::floor(average + 0.5)));
}

DoseRate DoseRate::of(Cpm cpm, std::uint16_t gammaCoefficient) {
    // From the exact quotient: in floating point an exact value such as 201 / 100 = 2.01 may come
    // out just below it and lose a unit.
    const std::int64_t thousandths = std::int64_t{cpm.count()} * 1000;
    std::int64_t truncated = thousandths / gammaCoefficient;
    if (thousandths % gammaCoefficient != 0 && thousandths < 0) --truncated;  // floor, also below 0
    return DoseRate(truncated);
}

std::string DoseRate::truncatedText() const {
    return padDoseText(decimalText(static_cast<double>(thousandths_) / 1000));
}

double DoseRate::value() const {
    return readNumber(truncatedText());
}

TwipLength TwipLength::roundedHalfEven(double twips) {
    return TwipLength(toInt32(twips));
}

TwipLength TwipLength::truncated(double twips) {
    return TwipLength(static_cast<int>(twips));
}

int TwipLength::toPixels(double logicalDpi) const {
    const double pixels = twips_ * (logicalDpi / 1440.0);
    return static_cast<int>(pixels + std::copysign(0.5, pixels));
}

}  // namespace rx47
