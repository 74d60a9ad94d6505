// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The number rule over any text: reading stops where a number cannot go on, blanks count for
// nothing, nothing but an overflow may fail; rounding halves to even; the 16- and 32-bit stores
// either hold the rounded value or fail; the shortest decimal text reads back as the same number.
#include <cmath>
#include <cstdint>
#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "harness.h"

namespace {

using rx47::Overflow;

/// The number of a text, or nothing when it is too large for a double.
bool read(std::string_view text, double& value) {
    try {
        value = rx47::readNumber(text);
        return true;
    } catch (const Overflow&) {
        return false;
    }
}

template <class Store>
void checkStore(const char* name, Store store, double value, double low, double high) {
    const double rounded = rx47::roundHalfEven(value);
    try {
        const double stored = static_cast<double>(store(value));
        FUZZ_CHECK(stored == rounded && stored >= low && stored <= high, "%s(%.17g) gave %.17g", name, value, stored);
    } catch (const Overflow&) {
        FUZZ_CHECK(rounded < low || rounded > high, "%s(%.17g) failed although %.17g fits", name, value, rounded);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = rx47::fuzz::textOf(data, size);
    double value = 0;
    const bool fits = read(text, value);

    // A blank, tab or line feed anywhere changes nothing; nor does anything after a carriage return.
    if (size > 0) {
        std::string spaced(text);
        spaced.insert(data[0] % (size + 1), 1, " \t\n"[data[size - 1] % 3]);
        double again = 0;
        const bool fitsAgain = read(spaced, again);
        FUZZ_CHECK(fitsAgain == fits && (!fits || again == value), "a blank changed the number %.17g to %.17g", value,
                   again);
    }
    if (const auto cr = text.find('\r'); cr != std::string_view::npos) {
        double before = 0;
        const bool fitsBefore = read(text.substr(0, cr), before);
        FUZZ_CHECK(fitsBefore == fits && (!fits || before == value), "the text after a CR counted");
    }
    if (!fits) return 0;
    FUZZ_CHECK(std::isfinite(value), "not a finite number: %g", value);

    const double rounded = rx47::roundHalfEven(value);
    FUZZ_CHECK(rounded == std::floor(rounded) && std::fabs(rounded - value) <= 0.5, "%.17g rounded to %.17g", value,
               rounded);
    if (std::fabs(rounded - value) == 0.5)
        FUZZ_CHECK(std::fmod(rounded, 2.0) == 0, "the half %.17g went to the odd %.17g", value, rounded);
    checkStore("toInt16", rx47::toInt16, value, -32768, 32767);
    checkStore("toUInt16", rx47::toUInt16, value, 0, 65535);
    checkStore("toInt32", rx47::toInt32, value, -2147483648.0, 2147483647.0);

    // Fifteen significant digits: the text reads back within a unit of the fifteenth digit, except at
    // the very top of the range, where rounding to fifteen digits goes past the largest double.
    const std::string shortest = rx47::decimalText(value);
    double back = 0;
    if (read(shortest, back))
        FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14, "%.17g was written \"%s\", read back %.17g",
                   value, shortest.c_str(), back);
    else
        FUZZ_CHECK(std::fabs(value) >= 1.79769313486231e308, "\"%s\" (%.17g) does not read back", shortest.c_str(),
                   value);
    FUZZ_CHECK(shortest.find_first_not_of("0123456789.-E+") == std::string::npos, "\"%s\"", shortest.c_str());
    return 0;
}
