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
    bool ready() const {
        return trayer.started() && runEventsUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10s);
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
    void minimise() { window->showMinimized(); }
    /// Minimised, it stays an ordinary minimised window. The handler of the state change decides on
    /// the icon: one would have come before the state shows.
    void expectMinimisedOnTheTaskBar() {
        minimise();
        ASSERT_TRUE(runEventsUntil([&] { return form.windowState == WindowState::Minimised; }, 5s));
        EXPECT_FALSE(desktop.trayIconShown());
    }
    bool hiddenInTray() {
        return runEventsUntil([&] { return !window->isVisible() && desktop.trayIconShown(); }, 5s);
    }
    void press(QSystemTrayIcon::ActivationReason reason) { emit desktop.trayIcon()->activated(reason); }
    void advance(std::chrono::milliseconds time) {
        timers.advance(time.count());
        test::runEventsFor(100ms);
    }

    Dispatcher dispatcher{ctx};
    std::unique_ptr<MainWindow> window;
};

TEST_F(Shell, WithoutATrayHostMinimiseLeavesAnOrdinaryMinimisedWindow) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    setSetting("tasktray", std::int64_t{-1});
    expectMinimisedOnTheTaskBar();
}

TEST_F(Shell, MinimiseHidesBehindOneIconAndEitherButtonRestores) {
    TrayHost host;
    ASSERT_TRUE(host.ready());
    setSetting("tasktray", std::int64_t{-1});

    minimise();
    ASSERT_TRUE(hiddenInTray());
    EXPECT_EQ(desktop.trayIcon()->toolTip(), "RX47 monitor");

    press(QSystemTrayIcon::Context);  // the right button restores like the left
    EXPECT_TRUE(runEventsUntil([&] { return window->isVisible(); }, 5s));
    EXPECT_TRUE(desktop.trayIconShown());
    advance(500ms);
    EXPECT_FALSE(desktop.trayIconShown());

    minimise();  // a second time: again one icon
    ASSERT_TRUE(hiddenInTray());
    press(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(runEventsUntil([&] { return window->isVisible(); }, 5s));
    advance(500ms);
    EXPECT_FALSE(desktop.trayIconShown());

    // A minimise within the half second after a restore keeps the icon as the way back.
    minimise();
    ASSERT_TRUE(hiddenInTray());
    press(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(runEventsUntil([&] { return window->isVisible(); }, 5s));
    minimise();
    ASSERT_TRUE(hiddenInTray());
    advance(2s);
    EXPECT_TRUE(desktop.trayIconShown());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(Shell, OtherEventsOnTheIconDoNothing) {
    TrayHost host;
    ASSERT_TRUE(host.ready());
    setSetting("tasktray", std::int64_t{-1});
    minimise();
    ASSERT_TRUE(hiddenInTray());
    press(QSystemTrayIcon::MiddleClick);
    advance(1s);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(desktop.trayIconShown());
}

TEST_F(Shell, WithoutTheSettingMinimiseStaysOnTheTaskBar) {
    TrayHost host;
    ASSERT_TRUE(host.ready());
    setSetting("tasktray", std::int64_t{0});
    expectMinimisedOnTheTaskBar();
}

TEST_F(Shell, TheShutdownRemovesTheIcon) {
    TrayHost host;
    ASSERT_TRUE(host.ready());
    setSetting("tasktray", std::int64_t{-1});
    minimise();
    ASSERT_TRUE(hiddenInTray());
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
