// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer schedule: lamp blinks, the splash delay and the device-save delay.
#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/timer_schedule.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TestMonitor;

TEST(Timers, TheScheduleStopsWhatRunsAndATickWithoutAnEntryChangesNothing) {
    TestMonitor m;
    for (int index : {timer::kMinute, timer::kIntake, timer::kAlarmFlash, timer::kPortAdvance}) m.timers.start(index);
    setUpTimers(m.ctx);
    for (int index = timer::kMinute; index <= timer::kPortAdvance; ++index)
        EXPECT_FALSE(m.timers.isRunning(index)) << index;

    const MainForm form = m.form;
    const MonitorState state = m.state;
    for (int index : {1, 8, 12, -1}) onTimerTick(m.ctx, index);
    EXPECT_EQ(m.form, form);
    EXPECT_EQ(m.state, state);
}

TEST(Timers, ALampBlinkIsBrightForOneTickThenDim) {
    TestMonitor m;
    LabelControl& lamp = m.form.Label[kRxLamp];
    m.timers.start(timer::kRxLamp);
    m.timers.advance(50);
    EXPECT_EQ(lamp.backColour, kLampGreen);
    m.timers.advance(50);
    EXPECT_EQ(lamp.backColour, kLampDarkGreen);
    EXPECT_TRUE(m.timers.isRunning(timer::kRxLamp));
    m.timers.advance(50);
    EXPECT_FALSE(m.timers.isRunning(timer::kRxLamp));
    EXPECT_EQ(lamp.backColour, kLampDarkGreen);
    EXPECT_TRUE(m.state.rxLampLit);  // the next blink starts bright again
    EXPECT_EQ(m.state.rxBlinkTicks, 0);
}

TEST(Timers, RestartingABlinkDoesNotLengthenIt) {
    TestMonitor m;
    m.timers.start(timer::kErrorLamp);
    m.timers.advance(50);
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampRed);
    m.timers.start(timer::kErrorLamp);
    m.timers.advance(100);
    EXPECT_FALSE(m.timers.isRunning(timer::kErrorLamp));
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampDarkRed);
}

TEST(Timers, TheSplashDelayStartsTheMinuteTimerOnItsSecondTick) {
    TestMonitor m;
    m.timers.start(timer::kSplash);
    m.timers.advance(1000);
    EXPECT_FALSE(m.timers.isRunning(timer::kMinute));
    m.timers.advance(1000);
    EXPECT_TRUE(m.timers.isRunning(timer::kMinute));
    EXPECT_FALSE(m.timers.isRunning(timer::kSplash));
    EXPECT_EQ(m.desktop.splashClosed, 1);
    EXPECT_EQ(m.state.splashTicks, 0);
}

TEST(Timers, TheSaveDelaySendsSaveOnItsFourthTick) {
    TestMonitor m;
    m.port.devices = {1};
    m.port.open(1);
    m.timers.start(timer::kSaveDelay);
    m.timers.advance(3000);
    EXPECT_TRUE(m.port.sent.empty());
    m.timers.advance(1000);
    ASSERT_EQ(m.port.sent.size(), 1u);
    EXPECT_EQ(m.port.sent[0], "save\r\n");
    EXPECT_FALSE(m.timers.isRunning(timer::kSaveDelay));
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
    EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
}

TEST(Timers, SplashAndSaveDelayEachCountTheirOwnTicks) {
    TestMonitor m;
    m.port.devices = {1};
    m.port.open(1);
    m.timers.start(timer::kSplash);
    m.timers.advance(500);
    m.timers.start(timer::kSaveDelay);
    const auto saves = [&] { return std::count(m.port.sent.begin(), m.port.sent.end(), "save\r\n"); };
    m.timers.advance(1500);  // the splash's second tick, the save delay's second
    EXPECT_EQ(m.desktop.splashClosed, 1);
    EXPECT_EQ(saves(), 0);
    m.timers.advance(2500);  // the save delay's fourth tick: neither delay cut the other short
    EXPECT_EQ(saves(), 1);
    m.timers.advance(10000);
    EXPECT_EQ(m.desktop.splashClosed, 1);
    EXPECT_EQ(saves(), 1);
    EXPECT_FALSE(m.timers.isRunning(timer::kSplash));
    EXPECT_FALSE(m.timers.isRunning(timer::kSaveDelay));
}

TEST(Timers, NothingIsSentWhileThePortIsClosed) {
    TestMonitor m;
    m.timers.start(timer::kSaveDelay);
    m.timers.advance(4000);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
}

}  // namespace
}  // namespace rx47
