// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The shared number rules: every subsystem reads device replies, captions and settings through them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "base/failure.h"
#include "base/number.h"

namespace rx47 {
namespace {

/// The number read from `text`; nothing when it overflows.
std::optional<double> readOrOverflow(const std::string& text) {
    try {
        return readNumber(text);
    } catch (const Overflow&) {
        return std::nullopt;
    }
}

TEST(ReadNumber, ReadsDecimalHexAndOctalAnywhereBetweenBlanksAndOverflowsOnlyAboveADouble) {
    // In turn: the decimal forms (a carriage return ends the number, D is an exponent too, an
    // exponent without digits adds nothing); blanks, tabs and line feeds ignored anywhere; hex and
    // octal (9 is not an octal digit); nothing read gives zero; beyond a double is an overflow, below
    // one is zero with or without an exponent.
    const std::string zeros(400, '0');
    // clang-format off
    const std::pair<std::string, std::optional<double>> rows[] = {
        {"25\r\n", 25}, {"25\r\n26\r\n", 25}, {"-5", -5}, {"+7", 7}, {"0.208", 0.208}, {".5", 0.5},
        {"12.50xyz", 12.5}, {"1.5E3", 1500}, {"1.5e-1", 0.15}, {"2D2", 200}, {"3E", 3}, {"1.2.3", 1.2},
        {"1 2\r\n", 12}, {" \t\n 4\t5 ", 45}, {"- 3", -3}, {"\n120\r\natc:", 120},
        {"&H1F", 31}, {"&hff", 255}, {"&O17", 15}, {"&O19", 1}, {"&X1", 0},
        {"", 0}, {"\r\n25", 0}, {"gms:120", 0}, {"-", 0}, {".", 0},
        {"1E999", std::nullopt}, {"1E-999", 0}, {"." + zeros + "6", 0}, {"0.0" + zeros + "6E+2", 0},
        {"0." + zeros + "6E+800", std::nullopt}, {"6" + zeros + "E-10", std::nullopt}};
    // clang-format on
    for (const auto& [text, value] : rows) EXPECT_EQ(readOrOverflow(text), value) << text;
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    for (auto [x, rounded] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {0.5, 0}})
        EXPECT_EQ(roundHalfEven(x), rounded) << x;
}

TEST(Storage, SixteenBitStoreFailsOutsideItsRange) {
    for (auto [x, stored] : {std::pair<double, int>{32767, 32767}, {-32768, -32768}, {32767.4, 32767}, {120.5, 120}})
        EXPECT_EQ(toInt16(x), stored) << x;
    for (double x : {32767.5, 40000.0, -32769.0}) EXPECT_THROW(toInt16(x), Overflow) << x;  // 32767.5 rounds up
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_THROW(toInt32(2147483648.0), Overflow);
}

TEST(DecimalText, IsTheShortestForm) {
    // 15 significant digits hide binary noise (0.1 + 0.2).
    const std::pair<double, const char*> rows[] = {{0.25, "0.25"},     {0.208, "0.208"},
                                                   {2, "2"},           {-3.5, "-3.5"},
                                                   {0, "0"},           {-0.0, "0"},
                                                   {5432, "5432"},     {12.341, "12.341"},
                                                   {0.1 + 0.2, "0.3"}, {123456789012345.0, "123456789012345"},
                                                   {1e16, "1E+16"},    {0.00001, "1E-05"}};
    for (auto [x, text] : rows) EXPECT_EQ(decimalText(x), text) << x;
}

TEST(Colours, RedIsTheLowByte) {
    EXPECT_EQ(rgb(0xFF, 0, 0), 0x0000FFu);
    EXPECT_EQ(rgb(0, 0x80, 0), 0x008000u);
    EXPECT_EQ(rgb(0, 0x80, 0xC0), 0xC08000u);
    EXPECT_EQ(blueOf(0xC08000u), 0xC0u);
}

TEST(Steps, SkipOnlyTheCoreFailures) {
    int ran = 0;
    EXPECT_FALSE(step([&] { throw Overflow("x"); }));
    EXPECT_TRUE(step([&] { ++ran; }));
    EXPECT_THROW(step([] { throw std::logic_error("bug"); }), std::logic_error);
    // A condition that fails counts as met; a false one runs the else branch.
    std::string taken;
    stepIf([]() -> bool { throw MissingColumn("warnline"); }, [&] { taken = "then"; }, [&] { taken = "else"; });
    EXPECT_EQ(taken, "then");
    stepIf([] { return false; }, [&] { taken = "then"; }, [&] { taken = "else"; });
    EXPECT_EQ(taken, "else");
    EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace rx47
