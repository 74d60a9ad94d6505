// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer schedule: lamp blinks, the per-minute timer, the splash delay and the device-save delay.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/link.h"
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
    EXPECT_FALSE(m.timers.isRunning(timer::kRxLamp));  // its timer runs only while the lamp is lit
    EXPECT_TRUE(m.state.rxLampLit);                    // the next blink starts bright again
    EXPECT_EQ(m.state.rxBlinkTicks, 0);

    // Off screen nobody sees a blink: the lamp is left as a blink ends, and no timer wakes for it.
    m.form.windowState = WindowState::Minimised;
    m.form.Label[kErrorLamp].backColour = kLampRed;  // lit steadily by the search
    blinkLamp(m.ctx, timer::kErrorLamp);
    EXPECT_FALSE(m.timers.isRunning(timer::kErrorLamp));
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampDarkRed);
    m.form.windowState = WindowState::Normal;
    blinkLamp(m.ctx, timer::kErrorLamp);
    EXPECT_TRUE(m.timers.isRunning(timer::kErrorLamp));
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

TEST(Timers, TheMinuteTimerSleepsUntilTheNextClockMinuteAndAForcedUpdateComesAtTheNextSecond) {
    TestMonitor m;
    m.port.devices = {1};
    m.port.open(1);
    m.port.setDataReceivedHandler([&] { onDataReceived(m.ctx); });
    m.clock.time = {2026, 5, 7, 9, 30, 20};
    const auto second = [&] {
        m.clock.time.second = (m.clock.time.second + 1) % 60;
        if (m.clock.time.second == 0) m.clock.time.minute = (m.clock.time.minute + 1) % 60;
        m.timers.advance(1000);
    };
    const auto reading = [&] {
        m.port.deliver("30\r\n");
        second();
    };
    const auto minuteTicks = [&] {
        return std::count(m.timers.fired().begin(), m.timers.fired().end(), timer::kMinute);
    };

    m.port.deliver("gms:120\r\natc:100\r\nttc:5\r\n");
    m.timers.start(timer::kSplash);
    second();
    second();  // 09:30:22: the splash goes, the first update comes at the next second
    EXPECT_EQ(m.timers.dueAt(timer::kMinute) - m.timers.now(), 1000);
    reading();
    EXPECT_EQ(m.state.lastMinute, 30);
    const auto ticks = minuteTicks();
    const int entered = m.state.minuteCount;
    for (int i = 0; i < 36; ++i) reading();  // to 09:30:59: the timer sleeps
    EXPECT_EQ(minuteTicks(), ticks);
    reading();  // 09:31:00
    EXPECT_EQ(m.state.lastMinute, 31);
    EXPECT_EQ(minuteTicks(), ticks + 1);
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "30");
    for (int i = 0; i < 180; ++i) reading();  // one tick a minute, each at the minute's first second
    EXPECT_EQ(minuteTicks(), ticks + 4);
    EXPECT_EQ(m.state.lastMinute, 34);
    EXPECT_EQ(m.state.minuteCount, entered + 4);

    // A port advance, a re-search or a regained link forces the update: it comes at the next second.
    for (int i = 0; i < 10; ++i) reading();  // 09:34:10
    m.port.sent.clear();
    forceMinuteUpdate(m.ctx);
    reading();
    EXPECT_EQ(minuteTicks(), ticks + 5);
    EXPECT_EQ(m.state.lastMinute, 34);
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"show\r\n"});
    EXPECT_EQ(m.state.minuteCount, entered + 4);  // within the clock minute no minute is entered
    EXPECT_EQ(m.timers.dueAt(timer::kMinute) - m.timers.now(), 49000);
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
