// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dose text of a count: "<cpm> <coefficient>" in, the text out, held against the exact quotient
// truncated to thousandths (worked out here in whole numbers) and the five-character rule.
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "harness.h"
#include "model/dose.h"

namespace {

/// floor(cpm × 1000 ÷ coefficient) written with three decimals, trailing zeros and point dropped,
/// then a point and zeros added up to five characters.
std::string expectedDose(std::int32_t cpm, std::uint16_t coefficient) {
    const long long n = static_cast<long long>(cpm) * 1000;
    long long t = n / coefficient;
    if (n % coefficient != 0 && n < 0) --t;
    const bool negative = t < 0;
    const unsigned long long a = negative ? -static_cast<unsigned long long>(t) : static_cast<unsigned long long>(t);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%s%llu.%03llu", negative ? "-" : "", a / 1000, a % 1000);
    std::string s = buffer;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    if (s.size() >= 5) return s;
    if (s.find('.') == std::string::npos) s += '.';
    while (s.size() < 5) s += '0';
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(rx47::fuzz::textOf(data, size));
    const auto blank = text.find(' ');
    if (blank == std::string::npos) return 0;
    std::int32_t cpm = 0;
    std::uint16_t coefficient = 0;
    try {
        cpm = rx47::toInt32(rx47::readNumber(text.substr(0, blank)));
        coefficient = rx47::toUInt16(rx47::readNumber(text.substr(blank + 1)));
    } catch (const rx47::Failure&) {
        return 0;
    }
    if (coefficient == 0) return 0;  // no dose without a coefficient: the intake's affair
    const std::string dose = rx47::doseText(cpm, coefficient);
    const std::string expected = expectedDose(cpm, coefficient);
    FUZZ_CHECK(dose == expected, "cpm %d, coefficient %u: \"%s\", expected \"%s\"", static_cast<int>(cpm),
               static_cast<unsigned>(coefficient), dose.c_str(), expected.c_str());
    return 0;
}
