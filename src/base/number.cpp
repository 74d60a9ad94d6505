// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/number.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "base/failure.h"

namespace rx47 {

namespace {

bool ignorable(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

double checked(double value) {
    if (!std::isfinite(value)) throw Overflow("number too large");
    return value;
}

double readRadix(const std::string& s, std::size_t i, int radix) {
    double value = 0;
    for (; i < s.size() && digitValue(s[i]) < radix; ++i) value = value * radix + digitValue(s[i]);
    return checked(value);
}

/// Whether a decimal number text (sign, digits, point, digits, "e" exponent) beyond a double's range
/// is too small rather than too large: where its first significant digit stands.
bool belowRange(const std::string& number) {
    const auto e = number.find('e');
    const std::string mantissa = number.substr(0, e);
    long exponent = 0;
    if (e != std::string::npos) {
        const bool negative = number[e + 1] == '-';
        for (std::size_t i = e + 1; i < number.size(); ++i)
            if (std::isdigit(static_cast<unsigned char>(number[i])))
                exponent = std::min(exponent * 10 + (number[i] - '0'), 100000L);
        if (negative) exponent = -exponent;
    }
    long position = 0;  // of the first significant digit: 0 for the units
    const auto point = mantissa.find('.');
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string::npos) return true;
    const auto units = point == std::string::npos ? mantissa.size() : point;
    position = first < units ? static_cast<long>(units - first - 1) : -static_cast<long>(first - units);
    return position + exponent < 0;
}

}  // namespace

double readNumber(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!ignorable(c)) s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
        if (kind == 'H') return readRadix(s, 2, 16);
        if (kind == 'O') return readRadix(s, 2, 8);
        return 0;
    }

    // Collect the longest prefix that has the shape of a decimal number, then let from_chars convert it
    // (it rounds correctly, which hand-made accumulation does not).
    std::string number;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) number.push_back(s[i++]), digits = true;
    if (i < s.size() && s[i] == '.') {
        number.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) number.push_back(s[i++]), digits = true;
    }
    if (!digits) return 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::string exponent = "e";
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
            exponent.push_back(s[j++]), expDigits = true;
        if (expDigits) number += exponent;
    }
    // from_chars neither follows the locale nor accepts a leading '+'.
    const char* first = number.data();
    if (*first == '+') ++first;
    double value = 0;
    const auto [end, error] = std::from_chars(first, number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to represent is 0 (with or without an exponent); too large is an overflow.
        if (belowRange(number)) return 0;
        throw Overflow("number too large");
    }
    return checked(value);
}

double roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::int16_t toInt16(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= -32768 && r <= 32767)) throw Overflow("value does not fit 16 bits");
    return static_cast<std::int16_t>(r);
}

std::uint16_t toUInt16(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= 0 && r <= 65535)) throw Overflow("value does not fit 0..65535");
    return static_cast<std::uint16_t>(r);
}

std::int32_t toInt32(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw Overflow("value does not fit 32 bits");
    return static_cast<std::int32_t>(r);
}

std::string decimalText(double value) {
    if (value == 0 || !std::isfinite(value)) return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string s(buffer, result.ptr);  // like "%.15g", whatever the locale
    const auto e = s.find('e');
    if (e == std::string::npos) return s;
    // Exponent form: mantissa as printed, then "E", the sign and at least two exponent digits.
    std::string mantissa = s.substr(0, e);
    const char sign = s[e + 1];
    std::string digits = s.substr(e + 2);
    while (digits.size() > 2 && digits[0] == '0') digits.erase(0, 1);
    return mantissa + "E" + sign + digits;
}

}  // namespace rx47
