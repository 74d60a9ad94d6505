// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarms: counting readings above the levels, raising the alarm with its actions, the flash and
// the acknowledgement, through the intake as the program runs them, in virtual time.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "display/trend_graph.h"
#include "monitor/alarms.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TestMonitor;

/// A monitor with a CPM alarm level of 100 and a dose alarm level of 0.5 μSv/h (60 CPM at a
/// coefficient of 120), as the supplied settings have it. No "RX47.wav": the alarms are silent.
struct Alarms : ::testing::Test {
    TestMonitor m;
    void SetUp() override { m.connectDevice(); }
    void read(int cpm) { m.read(cpm); }
    void readAll(std::initializer_list<int> readings) {
        for (int cpm : readings) read(cpm);
    }
    /// The readings counted towards the CPM alarm and towards the dose alarm.
    std::pair<int, int> hits() const { return {m.state.cpmAlarmHits, m.state.doseAlarmHits}; }
    bool alarmShown() const { return m.timers.isRunning(timer::kAlarmFlash); }
    const LabelControl& banner() const { return m.form.Label[kAlarmBanner]; }
    /// Which bars show, from bar `first` to the newest: "1" shown, "0" hidden.
    std::string barsShown(int first) const {
        std::string shown;
        for (int i = first; i <= graph::kNewest; ++i) shown += m.form.tgt[i].visible ? '1' : '0';
        return shown;
    }
    /// Bars with the given captions in the newest slots, shown as the graph shows them.
    void showBars(std::initializer_list<const char*> captions) {
        int i = graph::kNewest - static_cast<int>(captions.size()) + 1;
        for (const char* caption : captions) {
            m.form.tgt[i].caption = caption;
            m.form.tgt[i].visible = std::string(caption) != "0";
            ++i;
        }
    }
};

TEST_F(Alarms, TheThirdReadingAboveTheCpmLevelRaisesTheCpmAlarmEvenWithReadingsBetween) {
    m.setSetting("warnLineLevel", 100.0);  // the dose stays below its level
    readAll({101, 50, 101, 50});
    EXPECT_FALSE(alarmShown());
    EXPECT_EQ(m.state.cpmAlarmHits, 2);
    read(101);
    EXPECT_TRUE(alarmShown());
    EXPECT_EQ(banner().caption, kCpmAlarmText);
    EXPECT_EQ(m.state.cpmAlarmHits, 0);
    // The bar and its frame first show one second after the alarm, then blink every second.
    EXPECT_FALSE(banner().visible);
    m.timers.advance(1000);
    EXPECT_TRUE(banner().visible);
    EXPECT_TRUE(m.form.Shape1[2].visible);
    m.timers.advance(1000);
    EXPECT_FALSE(banner().visible);
    EXPECT_FALSE(m.form.Shape1[2].visible);
}

TEST_F(Alarms, AReadingEqualToALevelDoesNotCountAndWithWarningOffNothingCounts) {
    m.setSetting("warnLineLevel", 0.833);  // the dose of 100 CPM
    readAll({100, 100, 100, 100});
    EXPECT_FALSE(alarmShown());
    EXPECT_EQ(hits(), std::pair(0, 0));

    m.setSetting("warning", std::int64_t{0});
    readAll({500, 500, 500, 500});
    EXPECT_FALSE(alarmShown());
    EXPECT_EQ(hits(), std::pair(0, 0));
}

TEST_F(Alarms, TheDoseAlarmCountsTheRealTimeDoseAgainstItsLevel) {
    readAll({70, 60, 70});  // 0.583, 0.500, 0.583 μSv/h
    EXPECT_FALSE(alarmShown());
    EXPECT_EQ(m.state.doseAlarmHits, 2);
    read(70);
    EXPECT_TRUE(alarmShown());
    EXPECT_EQ(banner().caption, kDoseAlarmText);
    EXPECT_EQ(hits(), std::pair(0, 0));
}

TEST_F(Alarms, OneReadingRaisesOneAlarmTheCpmAlarmWinsAndWhileItIsShownNoReadingCounts) {
    readAll({101, 101, 101});  // above both levels
    ASSERT_TRUE(alarmShown());
    EXPECT_EQ(banner().caption, kCpmAlarmText);
    EXPECT_EQ(m.state.doseAlarmHits, 2);  // the raising reading did not count for the dose
    readAll({101, 101, 101, 101});
    EXPECT_EQ(hits(), std::pair(0, 2));
    EXPECT_EQ(banner().caption, kCpmAlarmText);
}

TEST_F(Alarms, ASettingThatCannotBeReadCountsAsSet) {
    m.settings.close();
    m.form.windowState = WindowState::Hidden;
    m.desktop.trayIcons = 1;
    readAll({20, 20});  // below both levels: the unreadable "warning" lets them count all the same
    EXPECT_EQ(m.state.cpmAlarmHits, 2);
    read(20);
    EXPECT_TRUE(alarmShown());
    EXPECT_EQ(banner().caption, kCpmAlarmText);
    // "popup" and "tasktray" unreadable: the window comes back from the notification area.
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    EXPECT_FALSE(m.desktop.trayIconShown());
    // And while it is shown, it is not raised again.
    readAll({20, 20, 20});
    EXPECT_EQ(m.state.cpmAlarmHits, 0);
}

TEST_F(Alarms, TheFlashBlinksTheBarsAboveTheCpmLevelOnly) {
    showBars({"0", "40", "100", "150", "300"});
    m.setSetting("warnLineLevel", 100.0);
    readAll({101, 101, 101});
    for (bool shown : {true, false, true}) {
        m.timers.advance(1000);
        EXPECT_EQ(banner().visible, shown);
        EXPECT_EQ(barsShown(76), shown ? "01111" : "01100");  // 0, 40, 100 (the level itself), 150, 300
    }
}

TEST_F(Alarms, TheBarsBlinkAgainstTheCpmLevelDuringADoseAlarmToo) {
    showBars({"150"});
    readAll({70, 70, 70});
    ASSERT_EQ(banner().caption, kDoseAlarmText);
    m.timers.advance(2000);
    EXPECT_FALSE(m.form.tgt[80].visible);
}

TEST_F(Alarms, WithFlashOffTheBarsKeepTheirVisibility) {
    showBars({"150", "300"});
    m.setSetting("flash", std::int64_t{0});
    readAll({101, 101, 101});
    for (int tick = 0; tick < 3; ++tick) {
        m.timers.advance(1000);
        EXPECT_EQ(barsShown(79), "11");
    }
    EXPECT_TRUE(banner().visible);  // the bar itself still blinks
}

TEST_F(Alarms, AcknowledgementShowsEveryBarWithAValueAndStartsCountingAgain) {
    showBars({"0", "40", "150", "300"});
    m.form.tgt[77].visible = true;  // whatever the bars show, a value shows and 0 hides
    readAll({101, 101, 101});
    m.timers.advance(2000);  // the bar is hidden, and the bars above the level with it
    ASSERT_FALSE(m.form.tgt[80].visible);
    acknowledgeAlarm(m.ctx);
    EXPECT_FALSE(alarmShown());
    EXPECT_FALSE(banner().visible);
    EXPECT_FALSE(m.form.Shape1[2].visible);
    EXPECT_EQ(barsShown(77), "0111");
    EXPECT_EQ(m.state.doseAlarmHits, 0);
    m.timers.advance(5000);
    EXPECT_TRUE(m.form.tgt[80].visible);

    readAll({101, 101});
    EXPECT_FALSE(alarmShown());
    read(101);
    EXPECT_TRUE(alarmShown());
}

TEST(AlarmPopUp, BringsTheWindowBackAsTheSettingsSay) {
    using enum WindowState;
    const struct {
        bool popup, tasktray;
        WindowState before, after;
        bool iconAfter;
    } cases[] = {
        {true, false, Minimised, Normal, false},
        {true, true, Hidden, Normal, false},  // back from the notification area
        {true, false, Hidden, Hidden, true},  // without tasktray the notification area keeps it
        {false, true, Minimised, Minimised, false},
        {false, true, Hidden, Hidden, true},
    };
    for (const auto& c : cases) {
        TestMonitor t;
        t.values.gammaCoefficient = 120;
        t.values.cpmAlarmLevel = 100;
        t.setSetting("popup", std::int64_t{c.popup ? -1 : 0});
        t.setSetting("tasktray", std::int64_t{c.tasktray ? -1 : 0});
        t.form.windowState = c.before;
        t.desktop.trayIcons = c.before == Hidden ? 1 : 0;
        for (int i = 0; i < 3; ++i) evaluateAlarms(t.ctx, 101, "0.841");
        SCOPED_TRACE(::testing::Message() << "popup " << c.popup << " tasktray " << c.tasktray);
        EXPECT_TRUE(t.timers.isRunning(timer::kAlarmFlash));
        EXPECT_EQ(t.form.windowState, c.after);
        EXPECT_EQ(t.desktop.trayIconShown(), c.iconAfter);
    }
}

TEST_F(Alarms, AnAlarmTheUserMayNotSeeIsToldThroughTheDesktopsNotifications) {
    m.setSetting("warnLineLevel", 100.0);
    // The window is normal and the one the user works in: the message bar is before their eyes.
    readAll({101, 101, 101});
    EXPECT_TRUE(alarmShown());
    EXPECT_TRUE(m.desktop.notifications.empty());
    acknowledgeAlarm(m.ctx);

    // Behind another window.
    m.desktop.windowActive = false;
    readAll({150, 101, 120});
    ASSERT_EQ(m.desktop.notifications.size(), 1u);
    const Notification& cpm = m.desktop.notifications[0];
    EXPECT_EQ(cpm.summary, kCpmAlarmText);
    EXPECT_EQ(cpm.body, "CPM 120（警報値 100 CPM）");
    EXPECT_TRUE(cpm.critical);
    EXPECT_EQ(m.desktop.raised, 1);  // "popup": to the front
    acknowledgeAlarm(m.ctx);

    // Minimised (the pop-up brings it back, but the desktop may not let it come forward) and the
    // dose alarm: its value and level in μSv/h.
    m.desktop.windowActive = true;
    m.form.windowState = WindowState::Minimised;
    m.setSetting("warnLineLevel", 0.5);
    readAll({80, 80, 84});
    ASSERT_EQ(m.desktop.notifications.size(), 2u);
    EXPECT_EQ(m.desktop.notifications[1].summary, kDoseAlarmText);
    EXPECT_EQ(m.desktop.notifications[1].body, "線量 " + m.form.Label[33].caption + " μSv/h（警報値 0.5 μSv/h）");
}

}  // namespace
}  // namespace rx47
