// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Minimising into the notification area, bringing the window back, and the shutdown sequence.
#include <gtest/gtest.h>

#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "ui/shutdown.h"
#include "ui/tray.h"
#include "ui/window_mode.h"

namespace rx47 {
namespace {

using test::TempProgramFolder;
using test::TestMonitor;

struct Tray : ::testing::Test {
    TestMonitor m;
    void SetUp() override { m.setSetting("tasktray", std::int64_t{-1}); }
};

TEST_F(Tray, MinimisingHidesTheWindowBehindOneIcon) {
    Form_Resize(m.ctx, WindowState::Minimised);
    EXPECT_EQ(m.form.windowState, WindowState::Hidden);
    EXPECT_EQ(m.desktop.trayIcons, 1);

    taskicon_MouseDown(m.ctx, TrayButton::Right);  // the right button restores like the left
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    EXPECT_TRUE(m.desktop.trayIconShown());  // the icon goes half a second later
    m.timers.advance(500);
    EXPECT_FALSE(m.desktop.trayIconShown());

    Form_Resize(m.ctx, WindowState::Minimised);
    EXPECT_EQ(m.desktop.trayIcons, 1);
}

TEST_F(Tray, AnotherCopyBringsTheWindowBackOnlyWhenItIsNotNormal) {
    Form_Resize(m.ctx, WindowState::Minimised);  // hidden behind the icon
    anotherCopyStarted(m.ctx);
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    m.timers.advance(500);
    EXPECT_FALSE(m.desktop.trayIconShown());  // as after a press on the icon

    m.desktop.hasTray = false;
    Form_Resize(m.ctx, WindowState::Minimised);  // on the task bar
    anotherCopyStarted(m.ctx);
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    m.timers.advance(500);

    anotherCopyStarted(m.ctx);  // already normal: nothing is set off
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    EXPECT_FALSE(m.timers.isRunning(timer::kTrayIconRemoval));
}

TEST_F(Tray, OtherMouseEventsOnTheIconDoNothingAndAMinimiseRightAfterARestoreKeepsTheWayBack) {
    Form_Resize(m.ctx, WindowState::Minimised);
    taskicon_MouseDown(m.ctx, TrayButton::Other);
    m.timers.advance(1000);
    EXPECT_EQ(m.form.windowState, WindowState::Hidden);
    EXPECT_TRUE(m.desktop.trayIconShown());

    taskicon_MouseDown(m.ctx, TrayButton::Left);
    m.timers.advance(200);
    Form_Resize(m.ctx, WindowState::Normal);
    Form_Resize(m.ctx, WindowState::Minimised);
    m.timers.advance(2000);
    EXPECT_EQ(m.form.windowState, WindowState::Hidden);
    EXPECT_TRUE(m.desktop.trayIconShown());
}

TEST_F(Tray, WithoutTheSettingOrANotificationAreaTheWindowStaysMinimised) {
    m.desktop.hasTray = false;
    Form_Resize(m.ctx, WindowState::Minimised);
    EXPECT_EQ(m.form.windowState, WindowState::Minimised);
    EXPECT_FALSE(m.desktop.trayIconShown());

    // The log says why, once.
    Form_Resize(m.ctx, WindowState::Normal);
    Form_Resize(m.ctx, WindowState::Minimised);
    EXPECT_EQ(m.form.windowState, WindowState::Minimised);
    EXPECT_EQ(m.logLines.count(LogCategory::Program, "no notification area"), 1);

    m.desktop.hasTray = true;
    m.setSetting("tasktray", std::int64_t{0});
    Form_Resize(m.ctx, WindowState::Minimised);
    EXPECT_EQ(m.form.windowState, WindowState::Minimised);
    EXPECT_FALSE(m.desktop.trayIconShown());
}

TEST(Shutdown, CountsTheExitAndCompactsEveryHundredth) {
    for (auto [before, after] : {std::pair{1, 2}, {99, 100}, {100, 1}}) {
        TestMonitor m;
        m.setSetting("running", std::int64_t{before});
        m.plugIn();
        m.desktop.trayIcons = 1;
        Form_QueryUnload(m.ctx);
        EXPECT_FALSE(m.settings.isOpen());
        EXPECT_FALSE(m.port.isOpen());
        EXPECT_FALSE(m.desktop.trayIconShown());
        EXPECT_TRUE(m.port.sent.empty());
        EXPECT_EQ(test::StoredSettings(m.folder.path()).int16("running"), after) << before;
        EXPECT_FALSE(std::filesystem::exists(m.folder.path() / kSettingsTempFileName));
    }
}

TEST(Shutdown, ADatabaseThatNeverOpenedDoesNotStopTheRest) {
    TestMonitor m(TempProgramFolder::Settings::None);
    m.plugIn();
    m.desktop.trayIcons = 1;
    Form_QueryUnload(m.ctx);
    EXPECT_FALSE(m.port.isOpen());
    EXPECT_FALSE(m.desktop.trayIconShown());
    EXPECT_FALSE(std::filesystem::exists(m.folder.settingsFile()));
}

}  // namespace
}  // namespace rx47
