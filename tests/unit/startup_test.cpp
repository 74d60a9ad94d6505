// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The start-up sequence: window modes, the splash period, the stored settings put into the controls
// without side effects, and the record folders.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <tuple>

#include "display/trend_graph.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "ui/startup.h"

namespace fs = std::filesystem;

namespace rx47 {
namespace {

using test::bytesOf;
using test::TempProgramFolder;
using test::TestMonitor;

struct WindowMode {
    bool startup;
    bool tasktray;
    bool trayHost;
    WindowState state;
    int splashes;
    int icons;
};

class StartWindowMode : public ::testing::TestWithParam<WindowMode> {};

TEST_P(StartWindowMode, FollowsTheSettingsAndKeepsTheWindowReachable) {
    const WindowMode mode = GetParam();
    TestMonitor m;
    m.setSetting("startup", std::int64_t{mode.startup ? -1 : 0});
    m.setSetting("tasktray", std::int64_t{mode.tasktray ? -1 : 0});
    m.desktop.hasTray = mode.trayHost;
    Form_Load(m.ctx);
    EXPECT_EQ(m.form.windowState, mode.state);
    EXPECT_EQ(m.desktop.splashShown, mode.splashes);
    EXPECT_EQ(m.desktop.trayIcons, mode.icons);

    // In every mode the monitoring starts on the second tick of the splash timer, and the splash goes.
    EXPECT_TRUE(m.timers.isRunning(timer::kSplash));
    m.timers.advance(1000);
    EXPECT_FALSE(m.timers.isRunning(timer::kMinute));
    EXPECT_EQ(m.desktop.splashClosed, 0);
    m.timers.advance(1000);
    EXPECT_TRUE(m.timers.isRunning(timer::kMinute));
    EXPECT_FALSE(m.timers.isRunning(timer::kSplash));
    EXPECT_EQ(m.desktop.splashClosed, 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, StartWindowMode,
                         ::testing::Values(WindowMode{false, false, true, WindowState::Normal, 1, 0},
                                           WindowMode{false, true, true, WindowState::Normal, 1, 0},
                                           WindowMode{true, false, true, WindowState::Minimised, 0, 0},
                                           WindowMode{true, true, true, WindowState::Hidden, 0, 1},
                                           // No notification area: hidden, the window could not be brought back.
                                           WindowMode{true, true, false, WindowState::Minimised, 0, 0}));

TEST(StartUp, WithoutASettingsFileTheWindowStillOpensEmpty) {
    TestMonitor m(TempProgramFolder::Settings::None);
    m.port.devices = {1};
    Form_Load(m.ctx);
    EXPECT_EQ(m.form.windowState, WindowState::Normal);
    EXPECT_EQ(m.desktop.splashShown, 1);
    for (int i = 0; i <= 81; ++i) {
        EXPECT_FALSE(m.form.tgt[i].visible) << i;
        EXPECT_EQ(m.form.tgt[i].caption, "0") << i;
    }
    EXPECT_TRUE(m.port.sent.empty());  // no port number to open
    EXPECT_TRUE(m.timers.isRunning(timer::kSplash));
    EXPECT_TRUE(fs::is_directory(m.folder.path() / "record" / "2026_05"));
    EXPECT_EQ(m.form.Image1[0].toolTip, " RX47 monitor  version 1.2 ");
}

TEST(StartUp, PuttingTheStoredChoicesIntoTheControlsSendsAndWritesNothing) {
    TestMonitor m;
    m.port.devices = {1};
    m.setSetting("buzzer", std::int64_t{-1});
    m.setSetting("CPMscale", std::string("200"));
    m.settings.close();
    const std::string before = bytesOf(m.folder.settingsFile());
    Form_Load(m.ctx);
    EXPECT_TRUE(m.form.Option2[0].value);
    EXPECT_FALSE(m.form.Option2[1].value);
    EXPECT_EQ(m.form.Combo1[0].text, "200");
    EXPECT_EQ(m.form.Combo1[0].listIndex, 2);
    EXPECT_EQ(m.form.Combo1[2].listIndex, 2);  // "0.400"
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"show\r\n"});
    EXPECT_TRUE(m.state.isLoading);
    m.settings.close();
    EXPECT_EQ(bytesOf(m.folder.settingsFile()), before);

    Form_Activate(m.ctx);
    EXPECT_FALSE(m.state.isLoading);
}

TEST(StartUp, TheMonitorStateStartsOverWhateverItHeld) {
    TestMonitor m;
    m.port.devices = {1};
    MonitorState& s = m.state;
    const auto fields = [&] {
        return std::tie(s.minCpm, s.maxCpm, s.link, s.isLoading, s.splashTicks, s.saveDelayTicks, s.hoverButton,
                        s.cpmAlarmHits, s.txLampLit, m.values.soundFinished);
    };
    fields() = std::make_tuple(3, 900, LinkState::NotFound, false, 1, 2, 0, 2, false, true);
    Form_Load(m.ctx);
    EXPECT_EQ(fields(), std::make_tuple(kNoMinimumCpm, 0, LinkState::Linked, true, 0, 0, 9, 0, true, false));
}

TEST(StartUp, TheShowRequestGoesOutOnlyWhenThePortOpened) {
    TestMonitor m;
    m.port.devices = {2};  // the stored port 1 is not there
    Form_Load(m.ctx);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_FALSE(m.port.isOpen());
}

TEST(StartUp, AStoredScaleMatchingNoEntryLeavesTheListUnselected) {
    TestMonitor m;
    m.setSetting("CPMscale", std::string("75"));
    m.setSetting("LINEscale", std::string("0.25"));
    Form_Load(m.ctx);
    EXPECT_EQ(m.form.Combo1[0].listIndex, -1);
    EXPECT_EQ(m.form.Combo1[2].listIndex, -1);
    EXPECT_EQ(m.values.cpmScaleFactor, 0);
    EXPECT_EQ(m.state.doseScaleFactor, 0);
    // Start-up goes on; bars have no height and dose points lie on the base line.
    EXPECT_FALSE(m.state.monthFolder.empty());
    m.values.gammaCoefficient = 120;
    setNewestBar(m.ctx, 30);
    EXPECT_EQ(m.form.tgt[80].geometry.height, 0);
    EXPECT_EQ(dosePointY(m.ctx, "30"), 6600);
}

TEST(StartUp, TheMonthFolderIsTakenOnceFromTheStartDate) {
    {
        TestMonitor m;
        m.clock.time = {2026, 5, 7, 9, 30, 0};
        const fs::path existing = m.folder.path() / "record" / "2026_05";
        fs::create_directories(existing);
        std::ofstream(existing / "2026-05-06.csv") << "kept";
        Form_Load(m.ctx);
        EXPECT_EQ(m.state.monthFolder, "2026_05");
        EXPECT_EQ(bytesOf(existing / "2026-05-06.csv"), "kept");
    }
    {
        TestMonitor m;
        m.clock.time = {2026, 12, 1, 0, 0, 0};
        Form_Load(m.ctx);
        EXPECT_EQ(m.state.monthFolder, "2026_12");
        EXPECT_TRUE(fs::is_directory(m.folder.path() / "record" / "2026_12"));
    }
}

}  // namespace
}  // namespace rx47
