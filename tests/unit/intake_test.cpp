// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The intake of what the device sends, the dose text, and the timers that carry them, in virtual
// time against a real settings file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "device/received.h"
#include "model/dose.h"
#include "model/quantities.h"
#include "monitor/dose.h"
#include "monitor/intake.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TestMonitor;

/// A monitor whose device has sent `text`; the intake timer is running, as after data arrived.
struct Intake : ::testing::Test {
    TestMonitor m;
    void SetUp() override { m.connectDevice(); }
    void receive(const std::string& text) { m.receive(text); }
    /// The coefficient and the CPM alarm level the program knows.
    auto known() { return std::tie(m.values.gammaCoefficient, m.values.cpmAlarmLevel); }
    const std::string& caption(int label) { return m.form.Label[label].caption; }
    bool errorLampBlinking() {
        return m.timers.isRunning(timer::kErrorLamp) || std::ranges::count(m.timers.fired(), timer::kErrorLamp) > 0;
    }
};

TEST(IntakeReading, IsShownAsCpmAndDoseOncePerIntakeWithBlanksInsideIgnored) {
    for (auto [text, cpm, dose] :
         {std::tuple{"25\r\n", 25, "0.208"}, {"25\r\n26\r\n", 25, "0.208"}, {"1 2\r\n", 12, "0.100"}}) {
        SCOPED_TRACE(text);
        TestMonitor m;
        m.connectDevice();
        m.receive(text);
        EXPECT_EQ(m.form.Label[kRealtimeCpm].caption, std::to_string(cpm));
        EXPECT_EQ(m.form.Label[kRealtimeDose].caption, dose);
        EXPECT_EQ(std::tie(m.state.readingCount, m.state.readingSum, m.state.minuteCpm), std::tuple(1, cpm, cpm));
        EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    }
}

TEST_F(Intake, ZeroNegativeAndAboveAThousandAreRejected) {
    std::tie(m.state.cpmAlarmHits, m.state.doseAlarmHits) = std::tuple(2, 1);
    for (const char* text : {"0\r\n", "1001\r\n", "-5\r\n", "\r\n", "garbage"}) {
        receive(text);
        EXPECT_EQ(m.state.readingCount, 0) << text;
        EXPECT_EQ(caption(kRealtimeCpm), "") << text;
    }
    EXPECT_TRUE(errorLampBlinking());
    EXPECT_EQ(std::tie(m.state.cpmAlarmHits, m.state.doseAlarmHits), std::tuple(0, 0));
    receive("1000\r\n");
    EXPECT_EQ(m.state.readingCount, 1);
    EXPECT_EQ(caption(kRealtimeCpm), "1000");
}

TEST_F(Intake, MinuteCpmIsTheMeanRoundedHalfUp) {
    receive("10\r\n");
    receive("11\r\n");
    EXPECT_EQ(m.state.minuteCpm, 11);
    receive("10\r\n");
    EXPECT_EQ(m.state.minuteCpm, 10);  // 31 / 3
}

TEST_F(Intake, AStatusReportFillsOnlyUnknownValuesAndTheTotalCount) {
    receive("gms:150\r\natc:300\r\nttc:1\r\n");  // known values are not overwritten by the device
    EXPECT_EQ(known(), std::tuple(120, 100));

    known() = std::tuple(0, 0);
    m.setSetting("gkeisuu", std::int64_t{99});
    m.setSetting("warnCPMlevel", std::int64_t{77});
    receive("gms:120\r\natc:100\r\nttc:5432\r\n");
    EXPECT_EQ(known(), std::tuple(120, 100));
    EXPECT_EQ(caption(kTotalCount), "5432");
    EXPECT_EQ(m.state.readingCount, 0);
    EXPECT_FALSE(errorLampBlinking());
    const test::StoredSettings onDisk(m.folder.path());
    EXPECT_EQ(std::tuple(onDisk.int16("gkeisuu"), onDisk.int16("warnCPMlevel")), std::tuple(120, 100));
}

TEST_F(Intake, TheAlarmLineFollowsTheReportedLevel) {
    // The supplied settings show the line. A level whose height does not fit 16 bits (1000) leaves the
    // line where it was, and hides it even when the line is switched on: shown, it would read as
    // another level. So is a level that fits but lies above the plot (150).
    m.values.cpmScaleFactor = 60;
    for (auto [level, y, shown] : {std::tuple{40, 4200, true}, {1000, 4200, false}, {150, -2400, false}}) {
        m.values.cpmAlarmLevel = 0;
        receive("atc:" + std::to_string(level) + "\r\nttc:1\r\n");
        EXPECT_EQ(m.values.cpmAlarmLevel, level);
        EXPECT_EQ(m.form.lne[kAlarmLine].y1, y) << level;
        EXPECT_EQ(m.form.lne[kAlarmLine].y2, y) << level;
        EXPECT_EQ(m.form.lne[kAlarmLine].visible, shown) << level;
    }
}

TEST_F(Intake, AReadingBeforeAReportIsNotCountedAndAReportWithoutTotalCountIsARejectedReading) {
    receive("25\r\ngms:120\r\natc:100\r\nttc:5432\r\n");
    EXPECT_EQ(m.state.readingCount, 0);
    EXPECT_EQ(caption(kTotalCount), "5432");
    EXPECT_FALSE(errorLampBlinking());

    m.values.gammaCoefficient = 0;
    receive("gms:120\r\n");
    EXPECT_EQ(m.values.gammaCoefficient, 120);
    EXPECT_EQ(m.state.readingCount, 0);
    EXPECT_TRUE(errorLampBlinking());
}

TEST_F(Intake, TagsAtTheVeryEndStoreZeroAndFallBackToTheColumn) {
    known() = std::tuple(0, 0);
    receive("x gms:");
    EXPECT_EQ(m.values.gammaCoefficient, 0);
    EXPECT_EQ(m.settings.int16("gkeisuu"), 0);
    EXPECT_EQ(m.values.cpmAlarmLevel, 100);  // no tag: taken from the column
    m.values.cpmAlarmLevel = 0;
    receive("atc:");
    EXPECT_EQ(m.settings.int16("warnCPMlevel"), 0);
    EXPECT_EQ(m.values.cpmAlarmLevel, 0);
    receive("ttc:");
    EXPECT_EQ(caption(kTotalCount), "0");
}

TEST(TagValue, IsTheNumberAfterTheTagOrNothingWithoutTheTag) {
    EXPECT_EQ(tagValue("gms:120\r\n", "gms:"), 120.0);
    EXPECT_EQ(tagValue("atc:40\r\nttc:5\r\n", "ttc:"), 5.0);
    EXPECT_EQ(tagValue("ttc:", "ttc:"), 0.0);  // the tag with no number is there, as 0
    EXPECT_EQ(tagValue("25\r\n", "gms:"), std::nullopt);
}

TEST_F(Intake, AGarbledTagValueLeavesTheStoredValueAlone) {
    known() = std::tuple(0, 0);
    receive("gms:99999\r\natc:-70000\r\nttc:7\r\n");
    // Not overwritten by a value it cannot hold, so the stored value is used.
    EXPECT_EQ(std::tuple(m.settings.int16("gkeisuu"), m.settings.int16("warnCPMlevel")), std::tuple(120, 100));
    EXPECT_EQ(known(), std::tuple(120, 100));
    EXPECT_EQ(caption(kTotalCount), "7");

    // A total count beyond any number is not a reading either, and the intake goes on afterwards.
    receive("ttc:1e400\r\n");
    EXPECT_EQ(caption(kTotalCount), "7");
    EXPECT_EQ(m.state.readingCount, 0);
    receive("25\r\n");
    EXPECT_EQ(m.state.readingCount, 1);
}

TEST_F(Intake, WaitsWhileTheSaveDelayRuns) {
    m.timers.start(timer::kSaveDelay);
    m.port.received = "25\r\n";
    m.timers.start(timer::kIntake);
    m.timers.advance(3500);  // the intake timer ticks, but reads nothing
    EXPECT_EQ(m.state.readingCount, 0);
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
    m.timers.advance(1000);  // the fourth save-delay tick sends "save" and the intake follows
    EXPECT_EQ(m.port.sent.back(), "save\r\n");
    EXPECT_EQ(m.state.readingCount, 1);
}

TEST(FormatDose, TruncatesToThousandthsAndPadsToFiveCharacters) {
    const std::tuple<int, std::uint16_t, const char*> rows[] = {
        {30, 120, "0.250"},    {25, 120, "0.208"},     {1, 120, "0.008"},     {0, 120, "0.000"},
        {120, 120, "1.000"},   {1500, 120, "12.50"},   {1481, 120, "12.341"}, {1000, 100, "10.00"},
        {12350, 100, "123.5"}, {12345, 1000, "12.345"}};
    for (auto [cpm, coefficient, text] : rows)
        EXPECT_EQ(doseText(cpm, coefficient), text) << cpm << " / " << coefficient;
}

TEST(FormatDose, ExactQuotientsAreNotOneUnitShort) {
    EXPECT_EQ(doseText(201, 100), "2.010");
    // Every reading at the common coefficients against the exact integer truncation.
    for (int coefficient : {100, 120, 150, 175, 200, 250, 1000}) {
        for (int cpm = 0; cpm <= 1000; ++cpm) {
            const long thousandths = cpm * 1000L / coefficient;
            char expected[32];
            std::snprintf(expected, sizeof expected, "%ld.%03ld", thousandths / 1000, thousandths % 1000);
            std::string text = expected;
            if (text.size() > 5) {  // "12.341" stays; "12.500" is shown as "12.50"
                while (text.size() > 5 && text.back() == '0') text.pop_back();
                if (text.back() == '.') text.pop_back();
            }
            ASSERT_EQ(doseText(cpm, static_cast<std::uint16_t>(coefficient)), text) << cpm << " / " << coefficient;
        }
    }
}

TEST(FormatDose, TheDoseTruncatesWhileCountsAndPixelsRoundEachByItsOwnRule) {
    EXPECT_EQ(DoseRate::of(Cpm(119), 120).truncatedText(), "0.991");  // 0.99166..., not 0.992
    EXPECT_DOUBLE_EQ(DoseRate::of(Cpm(119), 120).value(), 0.991);
    EXPECT_EQ(Cpm::roundedHalfEven(2.5), Cpm(2));  // a reading: halves to even
    EXPECT_EQ(Cpm::roundedHalfEven(3.5), Cpm(4));
    EXPECT_EQ(Cpm::roundedHalfUp(2.5), Cpm(3));  // the minute's mean: halves upwards
    EXPECT_EQ(TwipLength::roundedHalfEven(600.5).twips(), 600);
    EXPECT_EQ(TwipLength::truncated(5939.9).twips(), 5939);
    EXPECT_EQ(TwipLength(7).toPixels(96), 0);  // 15 twips a pixel: 7 is below half a pixel
    EXPECT_EQ(TwipLength(8).toPixels(96), 1);
    EXPECT_EQ(TwipLength(6).toPixels(120), 1);  // exactly half a pixel rounds away from zero
    EXPECT_EQ(TwipLength(-6).toPixels(120), -1);
}

TEST(DoseCaption, WithoutACoefficientACountLoadsItAndAReadingOfZeroStartsTheSearch) {
    TestMonitor m;
    m.setSetting("gkeisuu", std::int64_t{100});
    EXPECT_FALSE(meansNoDevice(m.values, Cpm(7)));
    EXPECT_EQ(doseCaption(m.values, m.ctx.settings, Cpm(7)), "");
    EXPECT_EQ(m.values.gammaCoefficient, 100);

    m.values.gammaCoefficient = 0;
    EXPECT_TRUE(meansNoDevice(m.values, Cpm(0)));
    EXPECT_EQ(doseCaption(m.values, m.ctx.settings, Cpm(0)), "");
    EXPECT_EQ(m.values.gammaCoefficient, 0);
    // The intake takes that step itself: a reading that rounds to 0 with no coefficient known or stored.
    m.connectDevice();
    m.values.gammaCoefficient = 0;
    m.setSetting("gkeisuu", std::int64_t{0});
    m.receive("0.4\r\n");
    EXPECT_NE(m.state.link, LinkState::Linked);
    EXPECT_TRUE(m.form.Label[kStatusMessage].visible);
}

}  // namespace
}  // namespace rx47
