// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a window manager and a real pointer decide, tested on a desktop of the test's own (Xvfb with
// openbox, pointer moves through XTest): the program started minimised stays minimised, the settings
// dialog opens centred over the main window's frame, and its sound-test button shows its hover colour
// while the pointer rests on it. An alarm raised while the window is minimised reaches the user
// through the desktop's notification service, on this desktop and on a Wayland one (weston).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <memory>

#include "base/log.h"
#include "model/main_form.h"
#include "model/setup_form.h"
#include "monitor/alarms.h"
#include "monitor/timer_schedule.h"
#include "setup/qt/setup_dialog.h"
#include "setup/setup.h"
#include "sim/simulator.h"
#include "support/desktop_session.h"
#include "support/file_checks.h"
#include "support/notification_service.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/real_program.h"
#include "support/simulated_device.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_desktop.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::runEventsUntil;
using test::waitFor;

test::DesktopSession* session = nullptr;

std::string logOf(const test::ProgramCopy& folder) {
    return test::bytesOf(folder.logFile());
}

/// Waits until the program has rewritten its metrics file twice: it has taken in two readings since,
/// so it has served the events that reached it before them.
bool twoReadingsTakenIn(const fs::path& metrics) {
    const auto inode = [&] {
        struct stat st {};
        return ::stat(metrics.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    for (int i = 0; i < 2; ++i) {
        const auto before = inode();
        if (!waitFor([&] { return inode() != before; }, 30s)) return false;
    }
    return true;
}

using Flags = std::vector<std::pair<const char*, bool>>;

/// The device on port 1, and these options.
void writeSettings(const test::ProgramCopy& folder, const Flags& flags) {
    test::StoredSettings row(folder.path());
    for (const auto& [column, on] : flags) row.writeFlag(column, on);
    row.write("COMport", std::string("1"));
    row.commit();
}

/// The real program in a program folder of its own with these options, its metrics file, and the
/// simulated counter on port 1; started as `launch` says.
struct RunningMonitor {
    RunningMonitor(const Flags& flags, test::LaunchOptions launch)
        : device((writeSettings(folder, flags), test::deviceOn(folder.port(1)))),
          program(folder, withMetrics(std::move(launch), metrics)) {}

    test::ProgramCopy folder;
    fs::path metrics = folder.path() / "metrics.prom";
    rx47sim::Simulator device;
    test::RealProgram program;

private:
    static test::LaunchOptions withMetrics(test::LaunchOptions launch, const fs::path& metrics) {
        launch.arguments.insert(launch.arguments.end(), {"--metrics", metrics.string()});
        return launch;
    }
};

/// The launch on the test's X display.
test::LaunchOptions onTheDisplay() {
    test::LaunchOptions launch;
    launch.display = session->display();
    return launch;
}

struct OnTheDesktop : ::testing::Test {
    void SetUp() override {
        if (!session || !session->ready()) GTEST_SKIP() << "no Xvfb with openbox here";
    }
    /// The program's main window once the window manager holds it minimised (the splash has the same
    /// title: the main window is the one of that name the window manager holds), 0 when none comes;
    /// `states` tells what the windows of that name were.
    static unsigned long minimisedMainWindow(std::string& states) {
        unsigned long window = 0;
        waitFor(
            [&] {
                states.clear();
                for (unsigned long id : session->windowsNamed("^ RX47 monitor$")) {
                    const std::string state = session->wmState(id);
                    states += std::to_string(id) + ": " + (state.empty() ? "unmanaged" : state) + "; ";
                    if (state == "Iconic") window = id;
                }
                return window != 0;
            },
            30s);
        return window;
    }
};

TEST_F(OnTheDesktop, StartedMinimisedTheWindowStaysMinimisedUntilTheUserRestoresIt) {
    RunningMonitor run({{"startup", true}, {"tasktray", false}}, onTheDisplay());
    auto& [folder, metrics, device, program] = run;
    ASSERT_TRUE(program.started());

    // The main window comes up minimised.
    std::string states;
    const unsigned long window = minimisedMainWindow(states);
    ASSERT_NE(window, 0u) << "windows of that name: " << states << "\nthe program's log:\n" << logOf(folder);
    // It stays so through the start-up and the splash period, whose end starts the minute timer: the
    // first minute update asks the device for its status a second time (start-up asked first). In
    // minute 00 of an hour the first update waits for minute 01.
    ASSERT_TRUE(waitFor([&] { return test::timesReceived(device, "show") >= 2; }, 90s));
    ASSERT_TRUE(twoReadingsTakenIn(metrics));
    EXPECT_EQ(session->wmState(window), "Iconic");

    // The user restores it, and minimises it again: each stays as the user left it.
    session->run("xdotool windowactivate " + std::to_string(window));
    EXPECT_TRUE(waitFor([&] { return session->wmState(window) == "Normal"; }, 10s));
    ASSERT_TRUE(twoReadingsTakenIn(metrics));
    EXPECT_EQ(session->wmState(window), "Normal");
    session->run("xdotool windowminimize " + std::to_string(window));
    EXPECT_TRUE(waitFor([&] { return session->wmState(window) == "Iconic"; }, 10s));
    ASSERT_TRUE(twoReadingsTakenIn(metrics));
    EXPECT_EQ(session->wmState(window), "Iconic");

    EXPECT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

/// The options of a program that starts minimised, asked to hide in the notification area (this
/// desktop has none), with the alarms on and silent, and `popup` as given.
Flags alarmFlags(bool popup) {
    return {{"startup", true}, {"tasktray", true}, {"popup", popup}, {"warning", true}, {"sound", false}};
}

int linesWith(const std::string& log, const std::string& text) {
    int n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
}

/// The CPM alarm's notification, once it has come; checks what it says.
bool cpmAlarmNotified(const test::NotificationService& service) {
    for (const auto& n : service.received()) {
        if (n.summary != kCpmAlarmText) continue;
        EXPECT_EQ(n.urgency, 2) << "critical";
        EXPECT_EQ(n.body.rfind("CPM ", 0), 0u) << n.body;
        EXPECT_NE(n.body.find("（警報値 100 CPM）"), std::string::npos) << n.body;
        EXPECT_EQ(n.actions.empty() ? "" : n.actions.front(), "default");
        return true;
    }
    return false;
}

TEST_F(OnTheDesktop, AnAlarmWhileMinimisedIsANotificationWhoseClickBringsTheWindowBack) {
    test::NotificationService service(true);
    if (!service.ready()) GTEST_SKIP() << service.why();
    test::LaunchOptions launch = onTheDisplay();
    launch.environment = {service.busVariable()};
    RunningMonitor run(alarmFlags(false), launch);  // only the notification's click brings the window back
    auto& [folder, metrics, device, program] = run;
    ASSERT_TRUE(program.started());

    // Without a notification area the window is minimised on the task bar, and the log says why.
    std::string states;
    const unsigned long window = minimisedMainWindow(states);
    ASSERT_NE(window, 0u) << states << "\n" << logOf(folder);
    ASSERT_TRUE(waitFor([&] { return fs::is_directory(folder.recordFolder()); }, 30s));
    EXPECT_EQ(linesWith(logOf(folder), "no notification area"), 1) << logOf(folder);

    device.spike(400, 600);  // every reading above the CPM alarm level of 100
    ASSERT_TRUE(waitFor([&] { return cpmAlarmNotified(service); }, 60s)) << logOf(folder);
    // The service clicks it: the window comes back.
    EXPECT_TRUE(waitFor([&] { return session->wmState(window) == "Normal"; }, 20s)) << logOf(folder);
    EXPECT_EQ(linesWith(logOf(folder), "no notification area"), 1);

    EXPECT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(OnWayland, AnAlarmWhileMinimisedIsANotificationAndTheLogSaysTheWindowStayedBack) {
    test::WestonSession weston;
    if (!weston.ready()) GTEST_SKIP() << weston.why();
    test::NotificationService service;
    if (!service.ready()) GTEST_SKIP() << service.why();
    test::LaunchOptions launch;
    launch.environment = weston.environment();
    launch.environment.push_back(service.busVariable());
    RunningMonitor run(alarmFlags(true), launch);
    auto& [folder, metrics, device, program] = run;
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor([&] { return fs::is_directory(folder.recordFolder()); }, 30s)) << logOf(folder);

    device.spike(400, 600);
    ASSERT_TRUE(waitFor([&] { return cpmAlarmNotified(service); }, 60s)) << logOf(folder);
    // A Wayland compositor lets no program raise its own window: the pop-up asked for it, and the log
    // tells that it did not come forward (once).
    EXPECT_TRUE(waitFor([&] { return linesWith(logOf(folder), "could not be raised") == 1; }, 20s)) << logOf(folder);
    EXPECT_NE(logOf(folder).find("Wayland"), std::string::npos);
    EXPECT_EQ(linesWith(logOf(folder), "no notification area"), 1) << logOf(folder);

    EXPECT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

/// A click on the middle of a control of a window (its place in twips, 15 to the pixel at 96 dpi).
void clickOn(unsigned long window, const Geometry& g) {
    session->run("xdotool mousemove --sync --window " + std::to_string(window) + " " +
                 std::to_string((g.left + g.width / 2) / 15) + " " + std::to_string((g.top + g.height / 2) / 15) +
                 " click 1");
}

TEST_F(OnTheDesktop, EndedWhileTheSettingsDialogIsOpenTheProgramClosesItFirstAndWaitsForNoClick) {
    RunningMonitor run({{"warning", true}, {"startup", false}}, onTheDisplay());
    auto& [folder, metrics, device, program] = run;
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(twoReadingsTakenIn(metrics)) << logOf(folder);  // the device is found: the button is enabled
    // The settings button, clicked again while no dialog comes (a click may come before the window
    // takes clicks).
    std::vector<unsigned long> windows;
    for (int i = 0; i < 5 && windows.empty(); ++i) {
        for (unsigned long id : session->windowsNamed("^ RX47 monitor$"))
            if (session->wmState(id) == "Normal") clickOn(id, makeMainForm().cmd[kSettingsButton].geometry);
        waitFor([&] { return !(windows = session->windowsNamed("version")).empty(); }, 3s);
    }
    ASSERT_FALSE(windows.empty()) << logOf(folder);
    ASSERT_TRUE(waitFor([&] { return session->wmState(windows.front()) == "Normal"; }, 10s));

    // A dose level and a CPM level out of range, neither box left; the selection of the last
    // (the X primary selection) shows that the program has taken every key.
    const SetupForm dialog = setup::makeSetupForm();
    for (const auto& [box, text] : {std::pair{kDoseLevelText, "3.5"}, std::pair{kCpmLevelText, "70000"}}) {
        clickOn(windows.front(), dialog.txt[box].geometry);
        session->run(std::string("xdotool key ctrl+a type ") + text);
    }
    session->run("xdotool key shift+Home");
    ASSERT_TRUE(
        runEventsUntil([] { return QGuiApplication::clipboard()->text(QClipboard::Selection) == "70000"; }, 10s));

    // The end waits for no click and, as at a logout, drops what was typed: nothing tries to commit it.
    ASSERT_TRUE(program.endWith(SIGTERM)) << logOf(folder);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(test::StoredSettings(folder.path()).text("warnLineLevel"), "0.5");
    EXPECT_EQ(logOf(folder).find("is not saved"), std::string::npos) << logOf(folder);
}

/// The core over fakes with the real main window and settings dialog on the desktop.
struct Windows : OnTheDesktop {
    void SetUp() override {
        OnTheDesktop::SetUp();
        if (IsSkipped()) return;
        m.values.versionText = "1.2";
        m.plugIn();
        dispatcher.setAfterEach([this] { window->sync(); });
        window = std::make_unique<MainWindow>(dispatcher);
        desktop.setDispatcher(&dispatcher);
        desktop.setMainWindow(window.get());
        desktop.setSetupDialog([this] { runSetupDialog(dispatcher, window.get()); });
        dispatcher.run([](Context&) {});
        // Framed by the window manager: the frame is what the user sees and what is centred.
        ASSERT_TRUE(runEventsUntil([&] { return session->frameOf(window->winId()).width > window->width(); }, 20s))
            << "visible " << window->isVisible() << ", state " << session->wmState(window->winId()) << ", extents "
            << session->run("xprop -id " + std::to_string(window->winId()) + " _NET_FRAME_EXTENTS");
    }

    test::TestMonitor m;
    QtDesktop desktop;
    Dispatcher dispatcher{m.ctx};
    std::unique_ptr<MainWindow> window;
};

TEST_F(Windows, TheSettingsDialogOpensCentredOverTheMainWindowsFrame) {
    test::DesktopSession::Frame main = session->frameOf(window->winId());
    test::DesktopSession::Frame dialog;
    bool settled = false;
    QTimer::singleShot(100ms, [&] {
        auto* shown = dynamic_cast<SetupDialog*>(QApplication::activeModalWidget());
        if (!shown) return;
        // Once the window manager has framed it; then until it stands centred (or the wait ends), so a
        // placement the window manager corrects afterwards is what is measured.
        settled = runEventsUntil([&] { return session->frameOf(shown->winId()).width > shown->width(); }, 10s);
        runEventsUntil(
            [&] {
                dialog = session->frameOf(shown->winId());
                main = session->frameOf(window->winId());
                return std::abs(dialog.centreX2() - main.centreX2()) <= 2 &&
                       std::abs(dialog.centreY2() - main.centreY2()) <= 2;
            },
            5s);
        shown->close();
    });
    desktop.showSetupDialog();
    ASSERT_TRUE(settled);
    EXPECT_LE(std::abs(dialog.centreX2() - main.centreX2()), 2) << dialog.x << "," << dialog.y;
    EXPECT_LE(std::abs(dialog.centreY2() - main.centreY2()), 2) << dialog.x << "," << dialog.y;
}

TEST_F(Windows, WithoutASessionBusTheLogSaysOnceThatNotificationsCannotBeSent) {
    // No session bus named, and none may be started for the occasion (autolaunch).
    const std::string busBefore =
        std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : "";
    const std::string runtimeBefore = std::getenv("XDG_RUNTIME_DIR") ? std::getenv("XDG_RUNTIME_DIR") : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
    const Notification alarm{kCpmAlarmText, "CPM 420（警報値 100 CPM）", true};
    desktop.notify(alarm);
    desktop.notify(alarm);
    const auto lines = [&](const char* text) { return m.logLines.count(LogCategory::Program, text); };
    EXPECT_EQ(lines("cannot be told through the desktop's notifications"), 1);

    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!busBefore.empty()) ::setenv("DBUS_SESSION_BUS_ADDRESS", busBefore.c_str(), 1);
    if (!runtimeBefore.empty()) ::setenv("XDG_RUNTIME_DIR", runtimeBefore.c_str(), 1);
}

TEST_F(Windows, TheSoundTestButtonShowsItsHoverColourWhileThePointerRestsOnIt) {
    fs::copy_file(fs::path(RX47_SUPPLIED_FOLDER) / "RX47.wav", m.folder.path() / "RX47.wav");
    SetupDialog dialog(dispatcher, window.get());
    dialog.show();
    ASSERT_TRUE(runEventsUntil([&] { return session->frameOf(dialog.winId()).width > dialog.width(); }, 10s));
    auto* button = dialog.findChild<QToolButton*>(QStringLiteral("cmd"));
    ASSERT_NE(button, nullptr);
    const QPoint centre = button->mapToGlobal(button->rect().center());

    // The pointer comes in from the dialog and rests on the button, moving a little within it.
    const QPoint outside = dialog.mapToGlobal(QPoint(dialog.width() / 2, dialog.height() - 4));
    session->movePointer(outside.x(), outside.y());
    session->movePointer(centre.x() - 2, centre.y() - 2);
    session->movePointer(centre.x(), centre.y());
    session->movePointer(centre.x() + 1, centre.y());
    EXPECT_TRUE(runEventsUntil([&] { return dialog.form().cmd.backColour == kSoundTestHover; }, 5s));
    const QImage drawn = button->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(3, drawn.height() / 2), QColor(0xC0, 0xC0, 0xC0));

    // Off the button, over the dialog: the face colour again.
    session->movePointer(outside.x(), outside.y());
    EXPECT_TRUE(runEventsUntil([&] { return dialog.form().cmd.backColour == kButtonFace; }, 5s));
}

}  // namespace
}  // namespace rx47

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests needs no desktop.
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    std::unique_ptr<rx47::test::DesktopSession> desktop;
    if (!listing) {
        desktop = std::make_unique<rx47::test::DesktopSession>();
        if (desktop->ready()) {
            ::setenv("DISPLAY", desktop->display().c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            rx47::session = desktop.get();
        }
    }
    if (!rx47::session) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
        result = RUN_ALL_TESTS();
    }
    return result;
}
