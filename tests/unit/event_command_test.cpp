// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm and event commands over the recording runner: what each is given for each event, one
// run at a time with the next waiting its turn, how each end and what it wrote is logged, and that
// an alarm's run starts before the alarm sound holds the handler.
#include <gtest/gtest.h>

#include <fstream>

#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "monitor/event_command.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "support/time_zone.h"

namespace rx47 {
namespace {

using test::TestMonitor;
using Arguments = std::vector<std::string>;

struct AlarmCommand : ::testing::Test {
    test::TimeZone zone{test::kJapan};
    TestMonitor m;
    void SetUp() override {
        m.connectDevice();
        m.clock.time = {2026, 5, 7, 9, 30, 12};
        m.ctx.reporting.alarmCommand = {"/usr/local/bin/rx47 notify", "--to", "a b", "$(touch x); 'y'"};
    }
    void readThree(int cpm) {
        for (int i = 0; i < 3; ++i) m.read(cpm);
    }
    int hookLines(const std::string& text) const { return m.logLines.count(LogCategory::Hook, text); }
};

/// The values of the named variables in a run's environment.
Arguments variables(const test::RecordingCommandRunner::Run& run, std::initializer_list<const char*> names) {
    Arguments values;
    for (const char* name : names) values.push_back(run.variable(name));
    return values;
}

TEST_F(AlarmCommand, EachKindOfAlarmRunsTheCommandWithTheAlarmInItsEnvironment) {
    readThree(101);
    ASSERT_EQ(m.commands.runs.size(), 1u);
    const auto cpm = m.commands.runs[0];  // a copy: the next alarm adds to the runs
    EXPECT_EQ(cpm.program, "/usr/local/bin/rx47 notify");
    EXPECT_EQ(cpm.arguments, (Arguments{"--to", "a b", "$(touch x); 'y'"}));
    EXPECT_EQ(variables(cpm, {"RX47_ALARM_KIND", "RX47_ALARM_VALUE", "RX47_ALARM_LEVEL", "RX47_ALARM_TIME",
                              "RX47_ALARM_MESSAGE", "RX47_PROGRAM_FOLDER"}),
              (Arguments{"cpm", "101", "100", "2026-05-07T09:30:12+09:00", kCpmAlarmText, m.folder.path().string()}));
    m.commands.finish();
    acknowledgeAlarm(m.ctx);

    m.setSetting("warnLineLevel", 0.55);
    readThree(70);  // 0.583 μSv/h
    ASSERT_EQ(m.commands.runs.size(), 2u);
    const auto& dose = m.commands.runs[1];
    EXPECT_EQ(variables(dose, {"RX47_ALARM_KIND", "RX47_ALARM_VALUE", "RX47_ALARM_LEVEL", "RX47_ALARM_MESSAGE"}),
              (Arguments{"dose", "0.583", "0.55", kDoseAlarmText}));
    EXPECT_EQ(dose.arguments, cpm.arguments);
}

TEST_F(AlarmCommand, OneRunsAtATimeTheNextWaitsItsTurnAndHowEachEndedIsLogged) {
    readThree(101);
    acknowledgeAlarm(m.ctx);
    readThree(101);  // the first still runs: this one waits
    EXPECT_EQ(m.commands.runs.size(), 1u);
    EXPECT_EQ(hookLines("still runs: alarm waits its turn"), 1);

    CommandExit three;
    three.exitCode = 3;
    three.output = "line one\nline two\n";
    three.outputLeftOut = 100;
    m.commands.finish(three);
    for (const char* line : {"failed: exit status 3", "wrote: line two", "wrote 100 bytes more"})
        EXPECT_EQ(hookLines(line), 1) << line;
    EXPECT_EQ(m.commands.runs.size(), 2u);  // the waiting one, at once
    CommandExit crash;
    crash.crashed = true;
    crash.error = "Process crashed";
    m.commands.finish(crash);
    EXPECT_EQ(hookLines("ended abnormally"), 0);  // the same cause, failing still: counted, not logged
    acknowledgeAlarm(m.ctx);
    readThree(101);
    m.commands.finish();
    for (const char* line : {"works again (after 2 failures)", "ended: exit status 0"})
        EXPECT_EQ(hookLines(line), 1) << line;

    // A program that cannot start: logged once, and the alarm itself goes on.
    m.commands.refuse = "No such file or directory";
    for (int i = 0; i < 2; ++i) {
        acknowledgeAlarm(m.ctx);
        readThree(101);
        EXPECT_TRUE(m.timers.isRunning(timer::kAlarmFlash));
    }
    EXPECT_EQ(hookLines("cannot start: No such file or directory"), 1);

    // Without a command nothing is run.
    m.commands.refuse.clear();
    m.ctx.reporting.alarmCommand.clear();
    acknowledgeAlarm(m.ctx);
    readThree(101);
    EXPECT_EQ(m.commands.runs.size(), 3u);
}

TEST_F(AlarmCommand, TheEventCommandHearsOfEveryEventAndTheOldestWaitingOneGoesFirstWhenTooManyWait) {
    test::RecordingCommandRunner events;
    m.ctx.eventRunner = &events;
    m.ctx.reporting.events.command = {"/usr/local/bin/rx47-event", "--map"};
    m.ctx.reporting.events.timeout = std::chrono::seconds(7);
    m.ctx.reporting.alarmCommand.clear();
    readThree(101);
    ASSERT_EQ(events.runs.size(), 1u);
    EXPECT_EQ(variables(events.runs[0], {"RX47_EVENT", "RX47_ALARM_KIND", "RX47_TIME"}),
              (Arguments{"alarm", "cpm", "2026-05-07T09:30:12+09:00"}));
    EXPECT_EQ(events.runs[0].arguments, (Arguments{"--map"}));
    EXPECT_EQ(events.timeLimit, std::chrono::seconds(7));
    acknowledgeAlarm(m.ctx);
    reportEvent(m.ctx, EventKind::DeviceLost);
    reportEvent(m.ctx, EventKind::Minute);  // not asked for: nothing
    m.ctx.reporting.events.minutes = true;
    m.form.Label[kAverageCpm].caption = "25";
    m.form.Label[kTotalCount].caption = "123456";
    reportEvent(m.ctx, EventKind::Minute);
    EXPECT_EQ(m.state.pendingEventRuns.size(), 3u);

    // Each in its turn, with what it was when it came.
    for (int i = 0; i < 3; ++i) events.finish();
    ASSERT_EQ(events.runs.size(), 4u);
    EXPECT_EQ(events.runs[1].variable("RX47_EVENT"), "acknowledged");
    EXPECT_EQ(events.runs[2].variable("RX47_EVENT"), "device-lost");
    EXPECT_EQ(events.runs[2].variable("RX47_PORT"), "COM" + m.form.Combo1[kPortList].text);
    EXPECT_EQ(variables(events.runs[3], {"RX47_EVENT", "RX47_CPM", "RX47_TOTAL_COUNT"}),
              (Arguments{"minute", "25", "123456"}));

    // Too many wait: the oldest that is not an alarm goes, the alarm stays.
    reportAlarmRaised(m.ctx, {AlarmKind::Cpm, "150", "100"});
    for (std::size_t i = 0; i < kPendingRuns; ++i) reportEvent(m.ctx, EventKind::DeviceFound);
    EXPECT_EQ(m.state.pendingEventRuns.size(), kPendingRuns);
    EXPECT_EQ(hookLines("the oldest waiting one (device-found) is dropped"), 1);
    EXPECT_EQ(m.state.pendingEventRuns.front().environment.front().second, "alarm");
}

TEST_F(AlarmCommand, StartsBeforeTheAlarmSoundHoldsTheHandler) {
    std::ofstream(m.folder.path() / "RX47.wav") << "RIFF";
    std::size_t runsDuringSound = 0;
    m.pump.script = {[&] {
        runsDuringSound = m.commands.runs.size();
        m.player.finish();
    }};
    readThree(101);
    EXPECT_EQ(m.pump.calls, 1);
    EXPECT_EQ(runsDuringSound, 1u);
}

}  // namespace
}  // namespace rx47
