// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Shared number rules: reading a number from text, rounding, storing into 16- and 32-bit variables,
// writing a number as its shortest decimal text, booleans as -1/0 and colours as 0x00BBGGRR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rx47 {

/// Reads "the number" of a text. Blanks, tabs and line feeds are ignored wherever they stand; then an
/// optional sign, digits, an optional decimal point with digits and an optional exponent (E or D,
/// optional sign, digits) are read, or "&H" with hexadecimal or "&O" with octal digits. Reading stops
/// at the first character that cannot continue the number (a carriage return included); a text with
/// no number gives 0. Throws Overflow when the value is beyond a double.
double readNumber(std::string_view text);

/// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// Stores a number into a 16-bit variable: rounded halves to even; outside -32768..32767 it throws
/// Overflow and the variable keeps its old value.
std::int16_t toInt16(double value);

/// Stores a number into an unsigned 16-bit variable (a CPM alarm level, a gamma coefficient: the
/// device takes 0..65535), as toInt16 but outside 0..65535 it throws Overflow.
std::uint16_t toUInt16(double value);

/// Stores a number into a 32-bit variable, as toInt16.
std::int32_t toInt32(double value);

/// The shortest decimal text of a number with at most 15 significant digits: "." as point, a 0
/// before the point below 1, no trailing zeros, no point for a whole number ("0.25", "2", "-3.5").
/// Very large or very small magnitudes are written with an exponent ("1E+16", "1E-05").
std::string decimalText(double value);

/// Colours in the layout 0x00BBGGRR (red in the low byte).
using Colour = std::uint32_t;
constexpr Colour rgb(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
constexpr unsigned redOf(Colour c) {
    return c & 0xFF;
}
constexpr unsigned greenOf(Colour c) {
    return (c >> 8) & 0xFF;
}
constexpr unsigned blueOf(Colour c) {
    return (c >> 16) & 0xFF;
}

}  // namespace rx47
