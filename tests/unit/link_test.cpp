// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Finding the device: the scan, the start-up connection, the search through the listed ports and
// the return of the device, over an in-memory port.
#include <gtest/gtest.h>

#include <set>

#include "monitor/link.h"
#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "ui/controls.h"
#include "ui/shutdown.h"

namespace rx47 {
namespace {

using test::TestMonitor;
using Ports = std::vector<std::string>;
constexpr const char* kCheckText = "RX47の接続を確認してください";
constexpr const char* kStatusReport = "gms:120\r\natc:100\r\nttc:5\r\n";

struct Link : ::testing::Test {
    TestMonitor m;
    void SetUp() override {
        m.dispatchReceivedData();
        m.clock.time = {2026, 5, 7, 9, 30, 0};
        m.setSetting("record", std::int64_t{0});
    }
    /// Seconds of the running program: the per-minute timer and whatever else is due.
    void seconds(int n = 1) {
        for (int i = 0; i < n; ++i) {
            m.clock.time.second = (m.clock.time.second + 1) % 60;
            if (m.clock.time.second == 0) m.clock.time.minute = (m.clock.time.minute + 1) % 60;
            m.timers.advance(1000);
        }
    }
    ComboControl& list() { return m.form.Combo1[1]; }
    /// The device on port 1 of ports 1 and 2 is not heard; the search stands at list index `index`.
    void notHeardOnPort1(int index) {
        m.port.devices = {1, 2};
        m.port.open(1);
        list().items = {"1", "2"};
        list().listIndex = index;
        list().text = "1";
        showDeviceNotFound(m.ctx);
    }
    /// The start-up over these ports with this port stored (or the supplied one), and the per-minute
    /// timer running after it.
    void startOn(std::set<int> ports, const char* stored = nullptr) {
        m.port.devices = std::move(ports);
        if (stored) m.setSetting("COMport", std::string(stored));
        startUpConnection(m.ctx);
        m.timers.start(timer::kMinute);
    }
    /// The window asks to check the counter and offers the re-search.
    bool offersReSearch() {
        return m.form.Label[kStatusMessage].caption == kCheckText && m.form.cmd[0].caption == "再検索" &&
               m.form.cmd[0].enabled;
    }
    int logged(const char* text) { return m.logLines.count(LogCategory::Port, text); }
};

TEST_F(Link, TheScanListsThePortsThatOpenAndClosesThemAgainButOneLeftOpen) {
    m.port.devices = {3, 7, 200};
    scanSerialPorts(m.ctx);
    EXPECT_EQ(list().items, (Ports{"3", "7", "200"}));
    EXPECT_FALSE(m.port.isOpen());
    EXPECT_EQ(m.port.opened.size(), 256u);

    // A port left open is listed and kept open, its data unread.
    list().items.clear();
    m.port.devices = {2, 5};
    m.port.open(2);
    m.port.deliver("25\r\n");
    scanSerialPorts(m.ctx);
    EXPECT_EQ(list().items, (Ports{"2", "5"}));
    EXPECT_TRUE(m.port.isOpen());
    EXPECT_EQ(m.port.portNumber(), 2);
    EXPECT_EQ(m.port.readAll(), "25\r\n");
}

TEST_F(Link, StartUpAsksTheStoredPortFirstAndListsThePortsBeforeTheWindowShows) {
    startOn({1, 2}, "2");
    EXPECT_EQ(m.port.opened.front(), 2);  // the stored port before any other
    EXPECT_EQ(list().text, "2");
    EXPECT_EQ(list().items, (Ports{"1", "2"}));
    EXPECT_TRUE(m.port.isOpen());
    EXPECT_EQ(m.port.portNumber(), 2);
    EXPECT_EQ(m.port.sent, (std::vector<std::string>{"show\r\n"}));
}

TEST_F(Link, NothingIsSentWhenTheStoredPortDoesNotOpen) {
    startOn({1}, "5");
    EXPECT_FALSE(m.port.isOpen());
    EXPECT_TRUE(m.port.sent.empty());
}

TEST_F(Link, TheSearchWalksThePortsUntilTheDeviceAnswers) {
    startOn({1, 2, 3}, "9");

    seconds();  // the first update finds nothing and starts the search
    EXPECT_EQ(m.state.link, LinkState::Searching);
    EXPECT_EQ(m.form.Label[kStatusMessage].caption, "COMポート検索中");
    EXPECT_TRUE(m.form.Label[kStatusMessage].visible);
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampRed);
    EXPECT_FALSE(m.form.cmd[0].enabled);
    EXPECT_FALSE(m.form.lne[2].visible);

    seconds();  // advance to port 1, then "show" on it at the next update
    EXPECT_EQ(m.port.portNumber(), 1);
    seconds(4);
    EXPECT_EQ(m.port.portNumber(), 3);
    EXPECT_EQ(m.port.sent.back(), "show\r\n");

    m.port.deliver(kStatusReport);  // the device answers on port 3
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_EQ(m.port.sent.back(), "go\r\n");  // "受信" is selected: found, it is told to send
    EXPECT_FALSE(m.timers.isRunning(timer::kPortAdvance));
    EXPECT_EQ(m.settings.text("COMport"), "3");
    EXPECT_FALSE(m.form.Label[kStatusMessage].visible);
    EXPECT_EQ(m.form.Label[kErrorLamp].backColour, kLampDarkRed);
    EXPECT_TRUE(m.form.lne[2].visible);
    EXPECT_TRUE(m.form.lne[12].visible);
    EXPECT_EQ(m.form.cmd[0].caption, "リセット");
    seconds(3);
    EXPECT_EQ(m.port.portNumber(), 3);  // stays on the answering port
    EXPECT_EQ(m.values.gammaCoefficient, 120);
    EXPECT_TRUE(m.form.cmd[0].enabled);
}

TEST_F(Link, DataArrivingDuringAPendingAdvanceEndsIt) {
    notHeardOnPort1(0);
    ASSERT_TRUE(m.timers.isRunning(timer::kPortAdvance));
    m.port.deliver("25\r\n");
    m.timers.advance(2000);
    EXPECT_EQ(m.port.portNumber(), 1);
    EXPECT_EQ(m.settings.text("COMport"), "1");
}

TEST_F(Link, DataArrivingAgainStraightAfterItselfChangesNothing) {
    // The program serves a burst of arrivals with one data-received event; that is the same only
    // if a second event straight after the first changes nothing, from any state.
    notHeardOnPort1(-1);
    for (int round = 0; round < 2; ++round) {  // the device coming back, then a device already heard
        onDataReceived(m.ctx);
        m.timers.advance(300);
        const MainForm form = m.form;
        const MonitorState state = m.state;
        onDataReceived(m.ctx);
        EXPECT_EQ(m.form, form);
        EXPECT_EQ(m.state, state);
        const std::size_t ticks = m.timers.fired().size();
        m.timers.advance(200);  // the intake is due 500 ms after the first event, not the second
        EXPECT_EQ(m.timers.fired().size(), ticks + 1);
        EXPECT_EQ(m.timers.fired().back(), timer::kIntake);
    }
}

TEST_F(Link, AnExhaustedSearchListsThePortsAgainEachMinuteKeepingItsOffer) {
    startOn({1, 2}, "9");
    seconds(10);
    EXPECT_TRUE(offersReSearch());
    EXPECT_EQ(m.state.link, LinkState::NotFound);
    EXPECT_FALSE(m.timers.isRunning(timer::kPortAdvance));
    EXPECT_EQ(m.port.portNumber(), 2);  // no wrap within the minute

    // From the next minute on the ports are listed afresh and walked again, with the offer kept.
    m.port.devices = {1, 2, 5};  // a port that was not there before
    while (m.clock.time.second != 59) seconds();
    bool offerKept = true;
    for (int i = 0; i < 8; ++i) {
        seconds();
        offerKept &= offersReSearch();
    }
    EXPECT_TRUE(offerKept);
    EXPECT_EQ(list().items, (Ports{"1", "2", "5"}));
    EXPECT_EQ(m.port.portNumber(), 5);
    m.port.deliver(kStatusReport);
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_FALSE(m.form.Label[kStatusMessage].visible);
    EXPECT_EQ(logged("no counter answers"), 1);  // once, not per round
    EXPECT_EQ(logged("the counter answers on COM5"), 1);
}

TEST_F(Link, DataNotYetTakenInAfterTheReSearchIsTheCounter) {
    startOn({4});
    seconds(4);
    ASSERT_EQ(m.form.cmd[0].caption, "再検索");
    ASSERT_EQ(m.values.gammaCoefficient, 0);  // never heard since start

    reSearch(m.ctx);
    seconds();  // "show" on port 4
    m.timers.advance(600);
    m.port.deliver(kStatusReport);
    m.timers.advance(400);  // the update its arrival forces comes before its intake
    m.timers.advance(1000);
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_EQ(m.values.gammaCoefficient, 120);
    const auto& lines = m.logLines.lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().message.find("the counter answers on COM4"), std::string::npos) << lines.back().message;
    EXPECT_EQ(logged("no counter answers"), 1);
}

TEST_F(Link, WithNoPortAtAllTheFirstUpdateOffersTheReSearch) {
    startOn({});
    EXPECT_TRUE(list().items.empty());
    seconds();
    EXPECT_EQ(m.form.Label[kStatusMessage].caption, kCheckText);
    EXPECT_FALSE(m.timers.isRunning(timer::kPortAdvance));
}

TEST_F(Link, APortTheUserMayNotOpenIsToldOfOnceAndInTheWindow) {
    m.port.refused = {33};  // the counter's adapter, /dev/ttyUSB0, without the group's permission
    startOn({}, "33");
    seconds(4);
    ASSERT_EQ(m.form.Label[kStatusMessage].caption, kCheckText);
    EXPECT_TRUE(m.form.notice.visible);
    EXPECT_EQ(m.form.notice.caption,
              "COM33 (/dev/ttyUSB0) を開く権限がありません。sudo adduser $USER dialout の後、ログインし直してください");
    reSearch(m.ctx);  // refused again: still one line in the log
    EXPECT_EQ(logged("permission denied"), 1);
    EXPECT_EQ(logged("no counter answers on the listed ports (none)"), 1);
    EXPECT_EQ(m.logLines.count(LogCategory::Port), 2);  // the empty numbers of the scan are no news

    // Allowed at last: the notice goes, and the log says so once.
    m.port.refused.clear();
    m.port.devices = {33};
    reSearch(m.ctx);
    EXPECT_FALSE(m.form.notice.visible);
    EXPECT_EQ(logged("COM33 opens"), 1);
}

TEST_F(Link, APortNoGroupMayOpenOrThatIsHeldSaysWhoMustActInTheLogAndTheWindow) {
    // The adapter belongs to root:root with mode 0600: no group may open it, and root's is no advice.
    m.port.failing[33] = {.problem = PortProblem::Permission,
                          .device = "/dev/ttyUSB0",
                          .group = "",
                          .detail = "Permission denied",
                          .access = "root:root 0600",
                          .holder = {}};
    // Another user's program holds the second adapter through its lock file.
    m.port.failing[34] = {.problem = PortProblem::Busy,
                          .device = "/dev/ttyUSB1",
                          .group = "",
                          .detail = "Permission error while locking the device",
                          .access = "",
                          .holder = {"/run/lock/LCK..ttyUSB1", 4242, "minicom", "bob", true}};
    m.setSetting("COMport", std::string("33"));
    startUpConnection(m.ctx);
    EXPECT_EQ(logged("adduser"), 0);
    EXPECT_EQ(logged("cannot open COM33 (/dev/ttyUSB0): permission denied (root:root 0600); no group of users may "
                     "open it: the administrator must grant access"),
              1);
    EXPECT_EQ(logged("cannot open COM34 (/dev/ttyUSB1): another program holds it through the lock file "
                     "/run/lock/LCK..ttyUSB1 (process 4242 minicom of user bob)"),
              1);
    // The window tells of the port it tried last: the stored one.
    EXPECT_EQ(m.form.notice.caption,
              "COM33 (/dev/ttyUSB0) を開く権限がありません（所有者とモード root:root "
              "0600）。管理者に使用許可を設定してもらってください（udev の規則など）");

    // The search reaches the held port: the window names its lock file and holder.
    openDevicePort(m.ctx, 34);
    EXPECT_EQ(m.form.notice.caption,
              "COM34 (/dev/ttyUSB1) は使用中です（ロックファイル /run/lock/LCK..ttyUSB1、プロセス 4242 "
              "minicom、ユーザー bob）");
    // Its holder has ended, but its file cannot be taken away by this user.
    m.port.failing[34].holder.running = false;
    m.port.failing[34].holder.program.clear();
    m.log.clear(LogCategory::Port, "port:34", "");
    openDevicePort(m.ctx, 34);
    EXPECT_EQ(logged("lock file /run/lock/LCK..ttyUSB1 (process 4242, which has ended; the file belongs to user bob)"),
              1);
    EXPECT_EQ(m.form.notice.caption,
              "COM34 (/dev/ttyUSB1) は使用中です（ロックファイル /run/lock/LCK..ttyUSB1、終了したプロセス "
              "4242、ファイルの所有者 bob）");

    // Free at last: the notice goes.
    m.port.failing.clear();
    m.port.devices = {34};
    openDevicePort(m.ctx, 34);
    EXPECT_FALSE(m.form.notice.visible);
}

TEST_F(Link, TheReSearchTriesASingleListedPort) {
    startOn({4}, "9");
    seconds(4);
    ASSERT_EQ(m.form.cmd[0].caption, "再検索");
    m.port.opened.clear();
    m.port.sent.clear();

    cmd_Click(m.ctx, kResetButton);  // 再検索
    EXPECT_TRUE(m.port.isOpen());
    EXPECT_EQ(m.port.portNumber(), 4);
    seconds();
    EXPECT_EQ(m.port.sent.back(), "show\r\n");  // the next update asks the port at once
    m.port.deliver(kStatusReport);
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_EQ(m.settings.text("COMport"), "4");
}

TEST_F(Link, APortThatClosesWhileMonitoringStartsTheSearch) {
    startOn({1, 2}, "1");
    m.port.deliver(kStatusReport);
    seconds();
    m.port.deliver("30\r\n");
    seconds(60);
    ASSERT_EQ(m.form.Label[kAverageCpm].caption, "30");

    m.port.devices = {2};  // unplugged from port 1: the adapter closes the port
    m.port.close();
    seconds(60);
    EXPECT_EQ(m.state.link, LinkState::Searching);
    EXPECT_EQ(m.form.Label[kStatusMessage].caption, "COMポート検索中");
    seconds(3);
    EXPECT_EQ(m.port.portNumber(), 2);
    m.port.deliver("gms:110\r\natc:90\r\nttc:7\r\n");  // plugged in again on port 2
    EXPECT_EQ(m.state.link, LinkState::Linked);
    EXPECT_EQ(m.settings.text("COMport"), "2");
    seconds(3);
    EXPECT_EQ(m.port.portNumber(), 2);
    EXPECT_FALSE(m.form.Label[kStatusMessage].visible);

    Form_QueryUnload(m.ctx);  // the program's end closes the port for good
    EXPECT_EQ(m.state.link, LinkState::Stopped);
}

}  // namespace
}  // namespace rx47
