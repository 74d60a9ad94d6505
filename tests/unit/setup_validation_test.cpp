// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Closing the settings dialog: the three number boxes are checked in order, rejected with their
// messages or applied to the settings, the main window's alarm line and the device, with the
// device-save delay after the commands.
#include <gtest/gtest.h>

#include "monitor/timer_schedule.h"
#include "setup/setup.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using Texts = std::vector<std::string>;
const std::string kDoseMessage = "放射線警報値を確認してください";
const std::string kCpmMessage = "CPM 警報値は 0～65535 の間で設定してください";
const std::string kGammaMessage = "ガンマ線感度係数は 0～65535 の間で設定してください";

struct SetupValidation : ::testing::Test {
    test::TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    SetupValidation() {
        m.plugIn();
        m.values.cpmAlarmLevel = 100;
        m.values.gammaCoefficient = 120;
        m.values.cpmScaleFactor = 60;
        setup::Form_Load(m.ctx, form);
        m.timers.start(timer::kIntake);  // data has arrived
    }
    void type(int box, const std::string& text) { setup::txt_Change(form, box, text); }
    /// A close from the close box; true when the dialog stays open.
    bool close() { return setup::Form_QueryUnload(m.ctx, form, setup::kCloseFromControlMenu); }
    double onDisk(const char* column) { return test::StoredSettings(m.folder.path()).number(column); }
    bool saveDelayRuns() { return m.timers.isRunning(timer::kSaveDelay); }
};

TEST_F(SetupValidation, UnchangedBoxesCloseWithoutWritingOrSending) {
    m.settings.write("buzzer", std::int64_t{-1});  // pending: any commit would store it
    EXPECT_FALSE(close());
    EXPECT_TRUE(m.port.sent.empty() && m.desktop.messages.empty());
    EXPECT_FALSE(saveDelayRuns());
    EXPECT_EQ(onDisk("buzzer"), 0);
}

TEST_F(SetupValidation, ABadTextIsRejectedWithItsBoxsMessageSelectedAndFocused) {
    const std::pair<int, std::string> boxes[] = {
        {kDoseLevelText, kDoseMessage}, {kCpmLevelText, kCpmMessage}, {kGammaText, kGammaMessage}};
    for (const auto& [box, message] : boxes) {
        const std::string before = form.txt[box].text;
        for (const char* text : {"abc", "-5", " 12", "1.2.3", "１２"}) {
            type(box, text);
            m.desktop.messages.clear();
            EXPECT_TRUE(close()) << box << text;
            EXPECT_EQ(m.desktop.messages, Texts{message}) << box << text;
            EXPECT_EQ(form.focusedText, box);
        }
        EXPECT_EQ(form.txt[box].selStart, 0);
        EXPECT_EQ(form.txt[box].selLength, 2);  // full-width digits are one character each
        type(box, before);
    }
    EXPECT_EQ(form.focusMoves, 15);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_FALSE(saveDelayRuns());
    EXPECT_EQ(onDisk("warnLineLevel"), 0.5);
}

TEST_F(SetupValidation, LevelsUpTo65535AreAcceptedAndAppliedEverywhere) {
    type(kCpmLevelText, "65536");
    EXPECT_TRUE(close());
    type(kCpmLevelText, "65535");
    type(kGammaText, "40000");
    EXPECT_FALSE(close());
    EXPECT_EQ(m.desktop.messages, Texts{kCpmMessage});
    EXPECT_EQ(m.values.cpmAlarmLevel, 65535);
    EXPECT_EQ(m.values.gammaCoefficient, 40000);
    EXPECT_EQ(onDisk("gkeisuu"), 40000);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=65535\r\n", "set gms=40000\r\n"}));
}

TEST_F(SetupValidation, BothDeviceValuesAreSentInOrderThenSavedOnce) {
    type(kCpmLevelText, "12.5");
    type(kGammaText, "13.5");
    EXPECT_FALSE(close());
    EXPECT_EQ(m.port.sent, (Texts{"set atc=12\r\n", "set gms=14\r\n"}));  // halves to even
    EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    m.timers.advance(4000);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=12\r\n", "set gms=14\r\n", "save\r\n"}));
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
}

TEST_F(SetupValidation, AChangedTextIsAppliedEvenWhenItNamesTheSameNumber) {
    type(kCpmLevelText, "0100");
    EXPECT_FALSE(close());
    type(kCpmLevelText, "");
    EXPECT_FALSE(close());
    EXPECT_EQ(m.values.cpmAlarmLevel, 0);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=100\r\n", "set atc=0\r\n"}));
}

TEST_F(SetupValidation, TheCpmLevelMovesTheAlarmLineAndIsNotStored) {
    LineControl& line = m.form.lne[kAlarmLine];
    line.visible = false;
    m.port.close();
    type(kCpmLevelText, "40");
    EXPECT_FALSE(close());
    EXPECT_EQ(line.y1, 4200);
    EXPECT_EQ(line.y2, 4200);
    EXPECT_FALSE(line.visible);
    EXPECT_EQ(onDisk("warnCPMlevel"), 100);
    EXPECT_TRUE(m.port.sent.empty());  // the port is closed, yet the device-save delay runs
    EXPECT_TRUE(saveDelayRuns());

    m.state.isLoading = false;  // the main window's start-up is over: the line's setting shows it
    type(kCpmLevelText, "30");
    EXPECT_FALSE(close());
    EXPECT_TRUE(line.visible);
    type(kCpmLevelText, "65535");  // beyond the graph's 16-bit arithmetic: not at 30 any more
    EXPECT_FALSE(close());
    EXPECT_EQ(m.values.cpmAlarmLevel, 65535);
    EXPECT_FALSE(line.visible);
    type(kCpmLevelText, "50");  // back on the scale: drawn where it belongs
    EXPECT_FALSE(close());
    EXPECT_EQ(line.y1, 3600);
    EXPECT_TRUE(line.visible);
}

TEST_F(SetupValidation, BoxesAreCheckedInOrderAndDoneStepsStayDone) {
    type(kDoseLevelText, "0.3");
    type(kCpmLevelText, "y");
    EXPECT_TRUE(close());
    EXPECT_EQ(onDisk("warnLineLevel"), 0.3);
    type(kDoseLevelText, "x");
    EXPECT_TRUE(close());
    EXPECT_EQ(m.desktop.messages, (Texts{kCpmMessage, kDoseMessage}));

    // The stored dose level no longer counts as changed: nothing is committed.
    type(kDoseLevelText, "0.3");
    type(kCpmLevelText, "100");
    m.settings.write("buzzer", std::int64_t{-1});
    EXPECT_FALSE(close());
    EXPECT_EQ(onDisk("buzzer"), 0);
}

TEST_F(SetupValidation, ALevelSentBeforeARejectionIsStillSaved) {
    type(kCpmLevelText, "50");
    type(kGammaText, "abc");
    EXPECT_TRUE(close());
    EXPECT_EQ(m.port.sent, Texts{"set atc=50\r\n"});
    m.timers.advance(4000);
    EXPECT_EQ(m.port.sent.back(), "save\r\n");
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
}

TEST_F(SetupValidation, OnlyACloseFromTheCloseBoxChecksAndApplies) {
    type(kDoseLevelText, "abc");
    type(kCpmLevelText, "40");
    EXPECT_FALSE(setup::Form_QueryUnload(m.ctx, form, setup::kCloseBySystem));
    EXPECT_TRUE(m.desktop.messages.empty() && m.port.sent.empty());
    EXPECT_EQ(m.values.cpmAlarmLevel, 100);
}

TEST_F(SetupValidation, ADoseLevelBeyondAnyNumberIsRejected) {
    type(kDoseLevelText, std::string(400, '9'));
    EXPECT_TRUE(close());
    EXPECT_EQ(m.desktop.messages, Texts{kDoseMessage});
}

}  // namespace
}  // namespace rx47
