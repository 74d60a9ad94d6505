// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The notification-area icon on a real X display (Xvfb) with a real tray host (trayer): minimise,
// restore by either button, one icon only, none left after the shutdown, and a window that stays
// reachable without a tray host.
#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <chrono>
#include <memory>
#include <optional>

#include "model/main_form.h"
#include "monitor/timer_schedule.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_desktop.h"
#include "ui/shutdown.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;
using test::runEventsUntil;

/// A tray host for the length of a test, ended by its PID.
struct TrayHost {
    test::Process trayer{{"/usr/bin/trayer", "--edge", "top"}};
    ~TrayHost() {
        trayer.endWith(SIGTERM);
        // Let the display notice that the tray is gone.
        runEventsUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 5s);
    }
};

struct TrayParts : test::Fakes {
    using Desktop = QtDesktop;
};

/// The core over fakes, with the real main window and the real desktop on the X display.
struct Shell : ::testing::Test, test::BasicTestMonitor<TrayParts> {
    void SetUp() override {
        if (qgetenv("DISPLAY").isEmpty()) GTEST_SKIP() << "needs an X display (the tests run under xvfb-run)";
        timers.setTickHandler([this](int index) { dispatcher.run([index](Context& c) { onTimerTick(c, index); }); });
        dispatcher.setAfterEach([this] { window->sync(); });
        window = std::make_unique<MainWindow>(dispatcher);
        desktop.setDispatcher(&dispatcher);
        desktop.setMainWindow(window.get());
        desktop.setTrayPressHandler(
            [this](TrayButton b) { dispatcher.run([b](Context& c) { taskicon_MouseDown(c, b); }); });
        dispatcher.run([](Context&) {});
        ASSERT_TRUE(runEventsUntil([&] { return window->isVisible(); }, 5s));
    }
    /// A tray host is up and the desktop sees its notification area; the icon is asked for.
    void withTrayHost(bool tasktray = true) {
        host.emplace();
        ASSERT_TRUE(host->trayer.started());
        ASSERT_TRUE(runEventsUntil([&] { return desktop.trayAvailable(); }, 10s));
        setSetting("tasktray", std::int64_t{tasktray ? -1 : 0});
    }
    /// Minimised, it stays an ordinary minimised window. The handler of the state change decides on
    /// the icon: one would have come before the state shows.
    void expectMinimisedOnTheTaskBar() {
        window->showMinimized();
        ASSERT_TRUE(runEventsUntil([&] { return form.windowState == WindowState::Minimised; }, 5s));
        EXPECT_FALSE(desktop.trayIconShown());
    }
    bool minimisedIntoTheTray() {
        window->showMinimized();
        return runEventsUntil([&] { return !window->isVisible() && desktop.trayIconShown(); }, 5s);
    }
    /// A press on the icon: its handler has run when this returns.
    void press(QSystemTrayIcon::ActivationReason reason) { emit desktop.trayIcon()->activated(reason); }
    bool restored() {
        return runEventsUntil([&] { return window->isVisible(); }, 5s);
    }
    /// Virtual time passes; the ticks' handlers have run when this returns.
    void advance(std::chrono::milliseconds time) {
        timers.advance(time.count());
        QCoreApplication::processEvents();
    }

    std::optional<TrayHost> host;
    Dispatcher dispatcher{ctx};
    std::unique_ptr<MainWindow> window;
};

TEST_F(Shell, WithoutATrayHostMinimiseLeavesAnOrdinaryMinimisedWindow) {
    ASSERT_FALSE(desktop.trayAvailable());
    setSetting("tasktray", std::int64_t{-1});
    expectMinimisedOnTheTaskBar();
}

TEST_F(Shell, MinimiseHidesBehindOneIconAndEitherButtonRestores) {
    withTrayHost();
    // The right button restores like the left; each time the icon goes half a second later, and a
    // second minimise again shows one icon.
    for (auto button : {QSystemTrayIcon::Context, QSystemTrayIcon::Trigger}) {
        SCOPED_TRACE(button);
        ASSERT_TRUE(minimisedIntoTheTray());
        EXPECT_EQ(desktop.trayIcon()->toolTip(), "RX47 monitor");
        press(button);
        EXPECT_TRUE(restored());
        EXPECT_TRUE(desktop.trayIconShown());
        advance(500ms);
        EXPECT_FALSE(desktop.trayIconShown());
    }

    // A minimise within the half second after a restore keeps the icon as the way back.
    ASSERT_TRUE(minimisedIntoTheTray());
    press(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(restored());
    ASSERT_TRUE(minimisedIntoTheTray());
    advance(2s);
    EXPECT_TRUE(desktop.trayIconShown());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Shell, OtherEventsOnTheIconDoNothing) {
    withTrayHost();
    ASSERT_TRUE(minimisedIntoTheTray());
    press(QSystemTrayIcon::MiddleClick);
    advance(1s);
    EXPECT_EQ(form.windowState, WindowState::Hidden);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(desktop.trayIconShown());
}

TEST_F(Shell, WithoutTheSettingMinimiseStaysOnTheTaskBar) {
    withTrayHost(false);
    expectMinimisedOnTheTaskBar();
}

TEST_F(Shell, TheShutdownRemovesTheIcon) {
    withTrayHost();
    ASSERT_TRUE(minimisedIntoTheTray());
    dispatcher.run(Form_QueryUnload);
    EXPECT_FALSE(desktop.trayIconShown());
}

}  // namespace
}  // namespace rx47

int main(int argc, char** argv) {
    // Without a display (the build lists the tests) the tests skip; the application still starts.
    if (qgetenv("DISPLAY").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
