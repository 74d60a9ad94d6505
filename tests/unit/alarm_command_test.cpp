// The alarm command over the recording runner: what it is given for each kind of alarm, one at a
// time, how its end is logged, and that it starts before the alarm sound holds the handler.
#include <gtest/gtest.h>

#include <fstream>

#include "monitor/alarms.h"
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

TEST_F(AlarmCommand, EachKindOfAlarmRunsTheCommandWithTheAlarmInItsEnvironment) {
    readThree(101);
    ASSERT_EQ(m.commands.runs.size(), 1u);
    const auto cpm = m.commands.runs[0];  // a copy: the next alarm adds to the runs
    EXPECT_EQ(cpm.program, "/usr/local/bin/rx47 notify");
    EXPECT_EQ(cpm.arguments, (Arguments{"--to", "a b", "$(touch x); 'y'"}));
    EXPECT_EQ(cpm.variable("RX47_ALARM_KIND"), "cpm");
    EXPECT_EQ(cpm.variable("RX47_ALARM_VALUE"), "101");
    EXPECT_EQ(cpm.variable("RX47_ALARM_LEVEL"), "100");
    EXPECT_EQ(cpm.variable("RX47_ALARM_TIME"), "2026-05-07T09:30:12+09:00");
    EXPECT_EQ(cpm.variable("RX47_ALARM_MESSAGE"), kCpmAlarmText);
    EXPECT_EQ(cpm.variable("RX47_PROGRAM_FOLDER"), m.folder.path().string());
    m.commands.finish();
    acknowledgeAlarm(m.ctx);

    m.setSetting("warnLineLevel", 0.55);
    readThree(70);  // 0.583 μSv/h
    ASSERT_EQ(m.commands.runs.size(), 2u);
    const auto& dose = m.commands.runs[1];
    EXPECT_EQ(dose.variable("RX47_ALARM_KIND"), "dose");
    EXPECT_EQ(dose.variable("RX47_ALARM_VALUE"), "0.583");
    EXPECT_EQ(dose.variable("RX47_ALARM_LEVEL"), "0.55");
    EXPECT_EQ(dose.variable("RX47_ALARM_MESSAGE"), kDoseAlarmText);
    EXPECT_EQ(dose.arguments, cpm.arguments);
}

TEST_F(AlarmCommand, OneRunsAtATimeAndHowEachEndedIsLogged) {
    readThree(101);
    acknowledgeAlarm(m.ctx);
    readThree(101);  // the first still runs
    EXPECT_EQ(m.commands.runs.size(), 1u);
    EXPECT_EQ(hookLines("still runs from an earlier alarm"), 1);

    CommandExit three;
    three.exitCode = 3;
    m.commands.finish(three);
    EXPECT_EQ(hookLines("failed: exit status 3"), 1);
    acknowledgeAlarm(m.ctx);
    readThree(101);
    EXPECT_EQ(m.commands.runs.size(), 2u);
    CommandExit crash;
    crash.crashed = true;
    crash.error = "Process crashed";
    m.commands.finish(crash);
    EXPECT_EQ(hookLines("ended abnormally"), 0);  // the same cause, failing still: counted, not logged
    acknowledgeAlarm(m.ctx);
    readThree(101);
    m.commands.finish();
    EXPECT_EQ(hookLines("works again (after 2 failures)"), 1);
    EXPECT_EQ(hookLines("ended: exit status 0"), 1);

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
