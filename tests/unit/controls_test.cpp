// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The operator's controls: the reset / re-search / acknowledgement button, the settings button, the
// data-link and buzzer option pairs and the hover highlight, in virtual time.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "display/trend_graph.h"
#include "monitor/alarms.h"
#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "ui/controls.h"

namespace rx47 {
namespace {

using test::TestMonitor;

/// The figures of the panels: every readout label (the ones aligned right).
std::vector<int> readouts(const MainForm& f) {
    std::vector<int> all;
    for (int i = 0; i < static_cast<int>(f.Label.size()); ++i)
        if (f.Label[i].align == Align::Right) all.push_back(i);
    return all;
}

/// A running monitor after start-up: the device on port 1, loading over.
struct Controls : ::testing::Test {
    TestMonitor m;
    void SetUp() override {
        m.connectDevice();
        m.values.cpmScaleFactor = 60;
        m.setSetting("record", std::int64_t{0});
        m.setSetting("warnLineLevel", 100.0);  // only the CPM level counts here
        m.state.isLoading = false;
    }
    void read(int cpm) { m.read(cpm); }
    void raiseCpmAlarm() {
        for (int i = 0; i < 3; ++i) read(150);
        ASSERT_TRUE(m.timers.isRunning(timer::kAlarmFlash));
    }
    /// Statistics as a few minutes leave them.
    void fillStatistics() {
        for (int i : readouts(m.form)) m.form.Label[i].caption = "42";
        m.form.Label[kMaxCpm].foreColour = kLampRed;
        m.form.Label[kMaxDose].foreColour = kLampRed;
        m.state.minCpm = 20, m.state.maxCpm = 60, m.state.minuteCount = 3, m.state.minuteSum = 120;
        m.state.minuteCpm = 40;
        for (int i = 0; i <= graph::kPeakMarker; ++i) {
            m.form.tgt[i].caption = "40";
            m.form.tgt[i].visible = true;
            m.form.tgt[i].geometry.height = 2400;
        }
        for (auto& b : m.form.bar) b.visible = true;
    }
    bool deviceControlsEnabled(bool enabled) const {
        const MainForm& f = m.form;
        return f.cmd[0].enabled == enabled && f.cmd[1].enabled == enabled && f.Option2[0].enabled == enabled &&
               f.Option2[1].enabled == enabled;
    }
    /// Whether option `index` of the pair is set and the other one not.
    static bool chosen(const std::array<OptionControl, 2>& pair, int index) {
        return pair[index].value && !pair[1 - index].value;
    }
    bool buzzerStored() { return test::StoredSettings(m.folder.path()).isTrue("buzzer"); }
};

TEST_F(Controls, TheSettingsButtonClearsTheHitCountersBeforeTheDialogOpens) {
    const auto hits = [&] { return std::tie(m.state.cpmAlarmHits, m.state.doseAlarmHits); };
    hits() = std::tuple(2, 1);
    m.desktop.onSetupDialog = [&] { EXPECT_EQ(hits(), std::tuple(0, 0)); };
    cmd_Click(m.ctx, 1);
    EXPECT_EQ(m.desktop.setupDialogs, 1);
    EXPECT_TRUE(m.port.sent.empty());
}

TEST_F(Controls, TheResetClearsStatisticsGraphAndTheDevicesTotalCountAndWaitsForTheNextMinute) {
    fillStatistics();
    m.timers.start(timer::kIntake);
    cmd_Click(m.ctx, 0);

    EXPECT_EQ(m.port.sent, std::vector<std::string>{"set ttc=0\r\n"});
    EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
    EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    // Every figure but the real-time reading.
    ASSERT_EQ(readouts(m.form).size(), 11u);
    for (int i : readouts(m.form))
        EXPECT_EQ(m.form.Label[i].caption, i == kRealtimeCpm || i == kRealtimeDose ? "42" : "") << i;
    EXPECT_EQ(m.form.Label[kMaxCpm].foreColour, kBlack);
    EXPECT_EQ(m.form.Label[kMaxDose].foreColour, kBlack);
    const MonitorState& s = m.state;
    EXPECT_EQ(std::tie(s.minCpm, s.maxCpm, s.minuteCount, s.minuteSum, s.minuteCpm), std::make_tuple(500, 0, 0, 0, 0));
    for (int i = 0; i <= graph::kNewest; ++i) {
        EXPECT_FALSE(m.form.tgt[i].visible) << i;
        EXPECT_EQ(m.form.tgt[i].caption, "0") << i;
        EXPECT_EQ(m.form.tgt[i].geometry.height, 0) << i;
    }
    EXPECT_FALSE(m.form.tgt[graph::kPeakBar].visible);
    EXPECT_FALSE(m.form.tgt[graph::kPeakMarker].visible);
    for (const auto& b : m.form.bar) EXPECT_FALSE(b.visible);
    EXPECT_FALSE(m.form.cmd[0].enabled);

    // The button stays disabled until the next minute update.
    m.timers.advance(30000);
    EXPECT_FALSE(m.form.cmd[0].enabled);
    m.clock.time.minute += 1;
    minuteUpdate(m.ctx);
    EXPECT_TRUE(m.form.cmd[0].enabled);
}

TEST_F(Controls, WithThePortClosedEachControlChangesTheWindowOnly) {
    m.setSetting("buzzer", std::int64_t{-1});
    m.port.close();
    Option1_Click(m.ctx, 1);  // stop: the caption only
    EXPECT_EQ(m.form.caption, " RX47 monitor 【データ通信停止】");
    EXPECT_TRUE(deviceControlsEnabled(true));
    EXPECT_FALSE(m.timers.isRunning(timer::kTxLamp));

    Option2_Click(m.ctx, 1);  // the buzzer: the save delay only
    EXPECT_TRUE(m.form.Option2[1].value);
    EXPECT_TRUE(buzzerStored());
    EXPECT_TRUE(m.timers.isRunning(timer::kSaveDelay));
    m.timers.advance(4000);

    fillStatistics();
    cmd_Click(m.ctx, 0);  // the reset: the window only
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "");
    EXPECT_FALSE(m.form.cmd[0].enabled);

    Option1_Click(m.ctx, 0);  // receive: the search message, and the controls disabled
    EXPECT_TRUE(m.form.Label[kStatusMessage].visible);
    EXPECT_TRUE(deviceControlsEnabled(false));
    EXPECT_EQ(m.form.caption, " RX47 monitor");
    EXPECT_TRUE(m.port.sent.empty());
}

TEST_F(Controls, PressingResetWhileAnAlarmBlinksAcknowledgesItOnlyAndASecondPressResets) {
    raiseCpmAlarm();
    fillStatistics();
    read(150);  // not counted while the alarm is shown
    m.timers.advance(1000);
    ASSERT_TRUE(m.form.Label[kAlarmBanner].visible);

    cmd_Click(m.ctx, 0);
    EXPECT_FALSE(m.timers.isRunning(timer::kAlarmFlash));
    EXPECT_FALSE(m.form.Label[kAlarmBanner].visible);
    EXPECT_FALSE(m.form.Shape1[2].visible);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "42");
    EXPECT_EQ(m.state.maxCpm, 60);
    EXPECT_TRUE(m.form.cmd[0].enabled);
    EXPECT_EQ(m.state.cpmAlarmHits, 0);

    cmd_Click(m.ctx, 0);
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"set ttc=0\r\n"});
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "");
}

TEST_F(Controls, WhileTheDeviceIsNotHeardTheButtonSearchesThePortsAgain) {
    fillStatistics();
    m.state.link = LinkState::NotFound;
    m.state.cpmAlarmHits = 2;
    m.port.devices = {3, 5};
    m.port.opened.clear();
    cmd_Click(m.ctx, 0);
    EXPECT_EQ(m.form.Combo1[1].items, (std::vector<std::string>{"3", "5"}));
    EXPECT_EQ(m.port.opened.back(), 3);  // the first listed port is tried at once
    EXPECT_TRUE(m.port.isOpen());
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "42");  // no reset
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_EQ(m.state.cpmAlarmHits, 0);
}

TEST_F(Controls, StopAndReceiveWithThePortOpen) {
    const auto lamps = [&] {
        return std::tie(m.form.Label[kRxLamp].backColour, m.form.Label[kErrorLamp].backColour,
                        m.form.Label[kTxLamp].backColour);
    };
    lamps() = std::tuple(kLampGreen, kLampRed, kLampGreen);
    m.timers.start(timer::kIntake);
    Option1_Click(m.ctx, 1);
    EXPECT_TRUE(chosen(m.form.Option1, 1));
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"stop\r\n"});
    EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
    EXPECT_EQ(lamps(), std::tuple(kLampDarkGreen, kLampDarkRed, kLampDarkGreen));
    EXPECT_TRUE(deviceControlsEnabled(false));
    EXPECT_EQ(m.form.caption, " RX47 monitor 【データ通信停止】");

    m.timers.advance(200);
    Option1_Click(m.ctx, 0);
    EXPECT_TRUE(chosen(m.form.Option1, 0));
    EXPECT_EQ(m.port.sent.back(), "go\r\n");
    EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
    EXPECT_TRUE(deviceControlsEnabled(true));
    EXPECT_EQ(m.form.caption, " RX47 monitor");
}

TEST_F(Controls, BuzzerOnIsSentStoredAndSavedInTheDevice) {
    m.state.cpmAlarmHits = 2;
    m.timers.start(timer::kIntake);
    Option2_Click(m.ctx, 0);
    EXPECT_TRUE(chosen(m.form.Option2, 0));
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"set snd=on\r\n"});
    EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    EXPECT_TRUE(buzzerStored());
    EXPECT_EQ(m.state.cpmAlarmHits, 0);
    m.timers.advance(4000);
    EXPECT_EQ(m.port.sent.back(), "save\r\n");

    Option2_Click(m.ctx, 1);
    EXPECT_EQ(m.port.sent.back(), "set snd=off\r\n");
    EXPECT_FALSE(buzzerStored());
}

TEST_F(Controls, TwoHitsFollowedByABuzzerClickNeedThreeMoreReadings) {
    read(150);
    read(150);
    Option2_Click(m.ctx, 1);
    m.timers.stop(timer::kSaveDelay);  // it would hold the intake back; not the point here
    read(150);
    read(150);
    EXPECT_FALSE(m.timers.isRunning(timer::kAlarmFlash));
    read(150);
    EXPECT_TRUE(m.timers.isRunning(timer::kAlarmFlash));
}

TEST_F(Controls, WhileLoadingTheOptionsOnlyFollowTheClick) {
    m.state.isLoading = true;
    m.state.cpmAlarmHits = 2;
    Option1_Click(m.ctx, 1);
    Option2_Click(m.ctx, 0);
    EXPECT_TRUE(chosen(m.form.Option1, 1));
    EXPECT_TRUE(chosen(m.form.Option2, 0));
    EXPECT_EQ(m.form.caption, " RX47 monitor");
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_FALSE(buzzerStored());
    EXPECT_FALSE(m.timers.isRunning(timer::kSaveDelay));
    EXPECT_EQ(m.state.cpmAlarmHits, 2);
    EXPECT_TRUE(deviceControlsEnabled(true));
}

TEST_F(Controls, AWriteThatFailsIsSkippedAndTheClickGoesOn) {
    m.port.failWrites = true;  // the adapter was unplugged; the port still reads as open
    Option2_Click(m.ctx, 0);
    EXPECT_TRUE(buzzerStored());
    EXPECT_TRUE(m.timers.isRunning(timer::kSaveDelay));
    Option1_Click(m.ctx, 1);
    EXPECT_EQ(m.form.caption, " RX47 monitor 【データ通信停止】");
    EXPECT_TRUE(deviceControlsEnabled(false));
    Option1_Click(m.ctx, 0);
    cmd_Click(m.ctx, 0);
    EXPECT_FALSE(m.form.cmd[0].enabled);  // the reset went through
}

TEST_F(Controls, TheButtonUnderThePointerIsGreyAndRepaintsOnlyWhenThePointerChangesButton) {
    const Colour kUntouched = rgb(1, 2, 3);
    // The buttons' colours and the button under the pointer.
    const auto hover = [&] {
        return std::tuple(m.form.cmd[0].backColour, m.form.cmd[1].backColour, m.state.hoverButton);
    };
    cmd_MouseMove(m.ctx, 0);
    EXPECT_EQ(hover(), std::tuple(kHoverGrey, kWhite, 0));

    m.form.cmd[1].backColour = kUntouched;
    cmd_MouseMove(m.ctx, 0);  // within the same button: no repaint
    EXPECT_EQ(m.form.cmd[1].backColour, kUntouched);

    cmd_MouseMove(m.ctx, 1);
    EXPECT_EQ(hover(), std::tuple(kWhite, kHoverGrey, 1));
    Form_MouseMove(m.ctx);
    EXPECT_EQ(hover(), std::tuple(kWhite, kWhite, kNoHoverButton));

    m.form.cmd[0].backColour = kUntouched;
    Form_MouseMove(m.ctx);  // already over the window: no repaint
    EXPECT_EQ(m.form.cmd[0].backColour, kUntouched);
}

TEST_F(Controls, AnIndexOutsideThePairDoesNothing) {
    m.state.cpmAlarmHits = 2;
    for (int index : {-1, 2, 9}) {
        cmd_Click(m.ctx, index);
        Option1_Click(m.ctx, index);
        Option2_Click(m.ctx, index);
        cmd_MouseMove(m.ctx, index);
    }
    EXPECT_EQ(m.state.cpmAlarmHits, 2);
    EXPECT_EQ(m.desktop.setupDialogs, 0);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_TRUE(m.form.Option1[0].value);
    EXPECT_EQ(m.state.hoverButton, kNoHoverButton);
}

}  // namespace
}  // namespace rx47
