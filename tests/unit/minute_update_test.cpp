// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The per-minute update in virtual time: statistics, the graph's newest bar, the device request and
// the absent-device detection.
#include <gtest/gtest.h>

#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using test::TestMonitor;
using Texts = std::vector<std::string>;

struct MinuteUpdate : ::testing::Test {
    TestMonitor m;
    void SetUp() override {
        m.plugIn();
        m.values.gammaCoefficient = 120;
        m.values.cpmScaleFactor = 60;
        m.state.doseScaleFactor = 15000;
        m.setSetting("record", std::int64_t{0});
        m.clock.time = {2026, 5, 7, 9, 30, 0};
    }
    /// The readings of one minute, then the update at the start of the next minute.
    void minute(std::initializer_list<int> readings) {
        for (int v : readings) m.read(v);
        m.clock.time.minute = (m.clock.time.minute + 1) % 60;
        minuteUpdate(m.ctx);
    }
    const std::string& caption(int label) { return m.form.Label[label].caption; }
    Texts captions(std::initializer_list<int> labels) {
        Texts all;
        for (int label : labels) all.push_back(caption(label));
        return all;
    }
};

TEST_F(MinuteUpdate, TheMinuteCpmIsTheRoundedMeanOfItsReadingsOrTheLastValueWithoutAny) {
    minute({10, 11});
    EXPECT_EQ(caption(kAverageCpm), "11");
    minute({10, 10, 11});
    EXPECT_EQ(captions({kAverageCpm, kAverageDose}), (Texts{"10", "0.083"}));
    EXPECT_EQ(std::pair(m.state.readingCount, m.state.readingSum), std::pair(0, 0));

    minute({});  // a minute without readings repeats the last value
    EXPECT_EQ((Texts{caption(kAverageCpm), m.form.tgt[79].caption, m.form.tgt[80].caption}), (Texts{"10", "10", "10"}));
}

TEST_F(MinuteUpdate, MaximumMinimumAndRunningAverage) {
    minute({10});  // the first value is both
    EXPECT_EQ(captions({kMaxCpm, kMinCpm}), (Texts{"10", "10"}));
    minute({11});  // the running average 10.5 rounds up
    EXPECT_EQ(captions({kMaxCpm, kMinCpm, kRunningCpm, kRunningDose}), (Texts{"11", "10", "11", "0.091"}));
    minute({5});  // 26 / 3 = 8.67
    EXPECT_EQ(captions({kMinCpm, kMinDose, kRunningCpm}), (Texts{"5", "0.041", "9"}));
}

TEST_F(MinuteUpdate, AFirstValueAboveFiveHundredIsNotTheMinimum) {
    minute({600});
    EXPECT_EQ(captions({kMaxCpm, kMinCpm}), (Texts{"600", ""}));
    minute({500});
    EXPECT_EQ(caption(kMinCpm), "500");
}

TEST_F(MinuteUpdate, RunsOncePerClockMinuteAndAsksForAReport) {
    minute({20});
    const auto sent = m.port.sent.size();
    EXPECT_EQ(m.port.sent.back(), "show\r\n");
    minuteUpdate(m.ctx);  // same minute: nothing
    EXPECT_EQ(m.port.sent.size(), sent);
    EXPECT_TRUE(m.timers.isRunning(timer::kTxLamp));
}

TEST_F(MinuteUpdate, StartedInMinuteZeroTheFirstUpdateWaitsAndKeepsTheBuffer) {
    m.clock.time.minute = 0;
    minuteUpdate(m.ctx);
    EXPECT_TRUE(m.port.sent.empty());
    m.port.received = "gms:120\r\nttc:9\r\n";
    m.clock.time.minute = 1;
    minuteUpdate(m.ctx);
    EXPECT_EQ(m.port.received, "gms:120\r\nttc:9\r\n");  // kept: lastMinute was 0
    m.clock.time.minute = 2;
    minuteUpdate(m.ctx);
    EXPECT_EQ(m.port.received, "");  // discarded
}

TEST_F(MinuteUpdate, TheStopOptionFreezesTheStatisticsButTheGraphScrolls) {
    minute({40});
    m.form.Option1[0].value = false;
    m.form.Option1[1].value = true;
    const auto sent = m.port.sent.size();
    minute({50});
    EXPECT_EQ(caption(kAverageCpm), "40");
    EXPECT_EQ(m.form.tgt[80].caption, "0");
    EXPECT_FALSE(m.form.tgt[80].visible);
    EXPECT_EQ(m.form.tgt[79].caption, "40");
    EXPECT_EQ(m.port.sent.size(), sent);
    EXPECT_EQ(m.state.readingCount, 1);  // kept for when data flows again
}

TEST_F(MinuteUpdate, TheNewestBarStandsOnTheBaseLine) {
    minute({25});
    const LabelControl& bar = m.form.tgt[80];
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.geometry.height, 1500);
    EXPECT_EQ(bar.geometry.top, 5100);
    minute({150});
    EXPECT_EQ(m.form.tgt[80].geometry.height, 6000);
    EXPECT_TRUE(m.form.bar[79].visible);
}

TEST_F(MinuteUpdate, RecordsThatCannotBeWrittenAreToldOfOnceAndInTheWindow) {
    m.setSetting("record", std::int64_t{-1});
    m.state.monthFolder = "2026_05";  // its folder was never made: the daily file cannot be written
    fs::create_directories(m.folder.path() / "record");
    minute({30});
    minute({31});
    EXPECT_EQ(m.logLines.count(LogCategory::Records, "records are not written"), 1);
    EXPECT_TRUE(m.form.notice.visible);
    EXPECT_EQ(m.form.notice.caption,
              "測定結果を " + (m.folder.path() / "record").string() + " に記録できません（No such file or directory）");

    fs::create_directories(m.folder.path() / "record" / "2026_05");
    minute({32});
    EXPECT_FALSE(m.form.notice.visible);
    EXPECT_EQ(m.logLines.count(LogCategory::Records, "written again"), 1);
}

TEST_F(MinuteUpdate, NoCoefficientAndNoCountMeansTheDeviceIsNotHeard) {
    m.values.gammaCoefficient = 0;
    m.port.devices = {};
    minute({});
    EXPECT_EQ(m.state.link, LinkState::NotFound);
    EXPECT_TRUE(m.form.Label[kStatusMessage].visible);
    EXPECT_EQ(caption(kStatusMessage), "RX47の接続を確認してください");
    EXPECT_EQ(m.form.cmd[0].caption, "再検索");
    EXPECT_TRUE(m.form.cmd[0].enabled);
    EXPECT_EQ(caption(kAverageDose), "");
}

}  // namespace
}  // namespace rx47
