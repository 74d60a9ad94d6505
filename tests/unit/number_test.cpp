// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The shared number rules: every subsystem reads device replies, captions and settings through them.
#include <gtest/gtest.h>

#include "base/failure.h"
#include "base/number.h"

namespace rx47 {
namespace {

TEST(ReadNumber, ReadsTheDecimalForms) {
    EXPECT_EQ(readNumber("25\r\n"), 25);
    EXPECT_EQ(readNumber("25\r\n26\r\n"), 25);  // stops at the carriage return
    EXPECT_EQ(readNumber("-5"), -5);
    EXPECT_EQ(readNumber("+7"), 7);
    EXPECT_EQ(readNumber("0.208"), 0.208);
    EXPECT_EQ(readNumber(".5"), 0.5);
    EXPECT_EQ(readNumber("12.50xyz"), 12.5);
    EXPECT_EQ(readNumber("1.5E3"), 1500);
    EXPECT_EQ(readNumber("1.5e-1"), 0.15);
    EXPECT_EQ(readNumber("2D2"), 200);  // D is an exponent too
    EXPECT_EQ(readNumber("3E"), 3);     // an exponent without digits adds nothing
    EXPECT_EQ(readNumber("1.2.3"), 1.2);
}

TEST(ReadNumber, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(readNumber("1 2\r\n"), 12);
    EXPECT_EQ(readNumber(" \t\n 4\t5 "), 45);
    EXPECT_EQ(readNumber("- 3"), -3);
    EXPECT_EQ(readNumber("\n120\r\natc:"), 120);
}

TEST(ReadNumber, ReadsHexAndOctal) {
    EXPECT_EQ(readNumber("&H1F"), 31);
    EXPECT_EQ(readNumber("&hff"), 255);
    EXPECT_EQ(readNumber("&O17"), 15);
    EXPECT_EQ(readNumber("&O19"), 1);  // 9 is not an octal digit
    EXPECT_EQ(readNumber("&X1"), 0);
}

TEST(ReadNumber, NothingReadGivesZero) {
    EXPECT_EQ(readNumber(""), 0);
    EXPECT_EQ(readNumber("\r\n25"), 0);
    EXPECT_EQ(readNumber("gms:120"), 0);
    EXPECT_EQ(readNumber("-"), 0);
    EXPECT_EQ(readNumber("."), 0);
}

TEST(ReadNumber, ValueBeyondADoubleIsAnOverflow) {
    EXPECT_THROW(readNumber("1E999"), Overflow);
}

TEST(ReadNumber, ValueBelowADoubleIsZeroWithOrWithoutAnExponent) {
    EXPECT_EQ(readNumber("1E-999"), 0);
    EXPECT_EQ(readNumber("." + std::string(400, '0') + "6"), 0);
    EXPECT_EQ(readNumber("0.0" + std::string(400, '0') + "6E+2"), 0);
    EXPECT_THROW(readNumber("0." + std::string(400, '0') + "6E+800"), Overflow);
    EXPECT_THROW(readNumber("6" + std::string(400, '0') + "E-10"), Overflow);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(2.5001), 3);
    EXPECT_EQ(roundHalfEven(0.5), 0);
}

TEST(Storage, SixteenBitStoreFailsOutsideItsRange) {
    EXPECT_EQ(toInt16(32767), 32767);
    EXPECT_EQ(toInt16(-32768), -32768);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(120.5), 120);
    EXPECT_THROW(toInt16(32767.5), Overflow);  // rounds to 32768
    EXPECT_THROW(toInt16(40000), Overflow);
    EXPECT_THROW(toInt16(-32769), Overflow);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_THROW(toInt32(2147483648.0), Overflow);
}

TEST(DecimalText, IsTheShortestForm) {
    EXPECT_EQ(decimalText(0.25), "0.25");
    EXPECT_EQ(decimalText(0.208), "0.208");
    EXPECT_EQ(decimalText(2), "2");
    EXPECT_EQ(decimalText(-3.5), "-3.5");
    EXPECT_EQ(decimalText(0), "0");
    EXPECT_EQ(decimalText(-0.0), "0");
    EXPECT_EQ(decimalText(5432), "5432");
    EXPECT_EQ(decimalText(12.341), "12.341");
    EXPECT_EQ(decimalText(0.1 + 0.2), "0.3");  // 15 significant digits hide binary noise
    EXPECT_EQ(decimalText(123456789012345.0), "123456789012345");
    EXPECT_EQ(decimalText(1e16), "1E+16");
    EXPECT_EQ(decimalText(0.00001), "1E-05");
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
