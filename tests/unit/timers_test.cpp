// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer schedule: lamp blinks, the per-minute timer, the splash delay and the device-save delay.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monitor/link.h"
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

TEST(Timers, ALampBlinkIsBrightForOneTickThenDimAndRestartingItDoesNotLengthenIt) {
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

    // Restarting a blink does not lengthen it.
    m.timers.start(timer::kErrorLamp);
    m.timers.advance(50);
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampRed);
    m.timers.start(timer::kErrorLamp);
    m.timers.advance(100);
    EXPECT_FALSE(m.timers.isRunning(timer::kErrorLamp));
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampDarkRed);

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

TEST(Timers, TheMinuteTimerSleepsToTheNextMinuteFollowsAClockThatJumpsOrRunsFastAndNeverSpins) {
    TestMonitor m;
    m.plugIn();
    m.dispatchReceivedData();
    // The wall clock in tenths of a second since 09:00:00; time passes in steps of 100 ms, with a
    // reading each second, and the wall clock moves on `pace` times as fast as the timers.
    long wall = 0;
    const auto setWall = [&](long tenths) {
        wall = tenths;
        const int s = static_cast<int>(tenths / 10);
        m.clock.time = {2026, 5, 7, 9 + s / 3600, s / 60 % 60, s % 60};
    };
    const auto at = [](int minute, int second) { return (minute * 60L + second) * 10; };
    long steps = 0;
    const auto run = [&](double seconds, long pace = 1) {
        for (long end = steps + static_cast<long>(seconds * 10); steps < end; ++steps) {
            if (steps % 10 == 0) m.port.deliver("30\r\n");
            setWall(wall + pace);
            m.timers.advance(100);
        }
    };
    const auto minuteTicks = [&] {
        return std::count(m.timers.fired().begin(), m.timers.fired().end(), timer::kMinute);
    };
    const auto showsSent = [&] { return std::count(m.port.sent.begin(), m.port.sent.end(), "show\r\n"); };

    setWall(at(30, 20));
    m.port.deliver("gms:120\r\natc:100\r\nttc:5\r\n");
    m.timers.start(timer::kSplash);
    run(2);  // 09:30:22: the splash goes, the first update comes at the next second
    EXPECT_EQ(m.timers.dueAt(timer::kMinute) - m.timers.now(), 1000);
    run(1);
    EXPECT_EQ(m.state.lastMinute, 30);

    // Within the minute the timer sleeps five seconds at a time and updates nothing; the update comes
    // in the first second of the next minute, one a minute.
    auto ticks = minuteTicks();
    const int entered = m.state.minuteCount;
    run(36.9);  // to 09:30:59.9
    EXPECT_EQ(m.state.lastMinute, 30);
    EXPECT_LE(minuteTicks() - ticks, 8);
    run(1);  // to 09:31:00.9
    EXPECT_EQ(m.state.lastMinute, 31);
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "30");
    ticks = minuteTicks();
    run(180);
    EXPECT_EQ(m.state.lastMinute, 34);
    EXPECT_EQ(m.state.minuteCount, entered + 4);
    EXPECT_LE(minuteTicks() - ticks, 3 * 13);

    // A counter found again while the window is minimised: the update it forces asks at the next
    // second after the intake, and no lamp blinks off screen.
    run(9);  // 09:34:10
    m.form.windowState = WindowState::Minimised;
    m.state.link = LinkState::NotFound;
    m.port.sent.clear();
    run(1.6);
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_EQ(showsSent(), 1);  // the forced update's
    EXPECT_EQ(m.state.lastMinute, 34);
    EXPECT_EQ(m.state.minuteCount, entered + 4);  // within the clock minute no minute is entered
    for (int lamp : {timer::kRxLamp, timer::kTxLamp, timer::kErrorLamp}) EXPECT_FALSE(m.timers.isRunning(lamp));
    EXPECT_EQ(m.form.Label[kRxLamp].backColour, kLampDarkGreen);
    EXPECT_EQ(m.form.Label[kTxLamp].backColour, kLampDarkGreen);
    m.form.windowState = WindowState::Normal;

    // The clock is put forward (by hand, by the time service, by a resume): the update comes within
    // five seconds, and the next one at the next minute.
    run(19);  // 09:34:30
    setWall(at(71, 30));
    run(5.1);
    EXPECT_EQ(m.state.lastMinute, 11);
    run(25.8);  // 10:12:00.9
    EXPECT_EQ(m.state.lastMinute, 12);
    // Put back within the minute, the update waits for the clock's next minute.
    setWall(at(72, 2));
    run(57.8);  // 10:12:59.8
    EXPECT_EQ(m.state.lastMinute, 12);
    run(1.1);
    EXPECT_EQ(m.state.lastMinute, 13);

    // A wall clock that runs sixty times as fast as the timers (a minute a second): after the first
    // sleep that sees it, every minute has its update, and the timer never sleeps under 100 ms.
    run(6, 60);
    ticks = minuteTicks();
    const int fastFrom = m.state.minuteCount;
    const int fastMinute = m.state.lastMinute;
    for (int i = 0; i < 10; ++i) {
        run(1, 60);
        EXPECT_LE((m.clock.time.minute - m.state.lastMinute + 60) % 60, 1);  // never a minute behind
    }
    EXPECT_EQ(m.state.minuteCount - fastFrom, (m.state.lastMinute - fastMinute + 60) % 60);  // none skipped
    EXPECT_GE(m.state.minuteCount - fastFrom, 9);
    EXPECT_LE(minuteTicks() - ticks, 25);
    // At its own pace again, the timer is back to one update a minute within a sleep or two.
    run(1);
    ticks = minuteTicks();
    const int normalFrom = m.state.minuteCount;
    run(120);
    EXPECT_EQ(m.state.minuteCount, normalFrom + 2);
    EXPECT_LE(minuteTicks() - ticks, 2 * 13);
}

TEST(Timers, TheSaveDelaySendsSaveOnItsFourthTickIfThePortIsOpen) {
    for (bool open : {true, false}) {
        SCOPED_TRACE(open ? "open" : "closed");
        TestMonitor m;
        if (open) m.plugIn();
        m.timers.start(timer::kSaveDelay);
        m.timers.advance(3000);
        EXPECT_TRUE(m.port.sent.empty());
        m.timers.advance(1000);
        EXPECT_EQ(m.port.sent, open ? std::vector<std::string>{"save\r\n"} : std::vector<std::string>{});
        EXPECT_FALSE(m.timers.isRunning(timer::kSaveDelay));
        EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
        EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
    }
}

TEST(Timers, TheSplashStartsTheMinuteTimerOnItsSecondTickAndItAndTheSaveDelayEachCountTheirOwnTicks) {
    TestMonitor m;
    m.plugIn();
    m.timers.start(timer::kSplash);
    m.timers.advance(500);
    m.timers.start(timer::kSaveDelay);
    const auto saves = [&] { return std::count(m.port.sent.begin(), m.port.sent.end(), "save\r\n"); };
    m.timers.advance(500);
    EXPECT_FALSE(m.timers.isRunning(timer::kMinute));
    m.timers.advance(1000);  // the splash's second tick, the save delay's second
    EXPECT_TRUE(m.timers.isRunning(timer::kMinute));
    EXPECT_FALSE(m.timers.isRunning(timer::kSplash));
    EXPECT_EQ(m.desktop.splashClosed, 1);
    EXPECT_EQ(m.state.splashTicks, 0);
    EXPECT_EQ(saves(), 0);
    m.timers.advance(2500);  // the save delay's fourth tick: neither delay cut the other short
    EXPECT_EQ(saves(), 1);
    m.timers.advance(10000);
    EXPECT_EQ(m.desktop.splashClosed, 1);
    EXPECT_EQ(saves(), 1);
    EXPECT_FALSE(m.timers.isRunning(timer::kSplash));
    EXPECT_FALSE(m.timers.isRunning(timer::kSaveDelay));
}

}  // namespace
}  // namespace rx47
