// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Finding the device and keeping it, through the real serial adapter: simulators on pseudo-terminals
// in a temporary port table, the monitor's real timers and the Qt event loop serving the port. Only
// the clock is the test's: it says when a minute ends. Every wait is for something the program or
// the device does, with a generous bound, so a slow machine makes these tests slower, never red.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>

#include "device/protocol.h"
#include "model/main_form.h"
#include "monitor/link.h"
#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "sim/simulator.h"
#include "support/live_core.h"
#include "support/qt_events.h"
#include "support/simulated_device.h"
#include "ui/controls.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::runEventsUntil;
constexpr const char* kCheckText = "RX47の接続を確認してください";

/// The monitor core with the real serial adapter over a port table of simulators.
struct LiveMonitor : test::LiveCore {
    /// A device on port n; a silent one stands for a port with nothing behind it.
    rx47sim::Simulator& device(int n, bool silent = false) {
        rx47sim::Options options = test::deviceOn(portLink(n), 0.25);
        options.gms = 100 + n;
        sims.push_back(std::make_unique<rx47sim::Simulator>(options));
        if (silent) sims.back()->silence(true);
        return *sims.back();
    }

    /// The start-up connection with port n stored (none: the supplied one) and the per-minute
    /// timer, as after the splash.
    void start(const char* stored = nullptr) {
        if (stored) {
            settings.write("COMport", std::string(stored));
            settings.commit();
        }
        startUpConnection(ctx);
        timers.start(timer::kMinute);
    }

    bool until(const std::function<bool()>& done, std::chrono::seconds limit = 30s) {
        return runEventsUntil(done, limit);
    }
    bool linked() const { return state.link == LinkState::Linked; }
    /// The window's status message, "" when it is hidden.
    std::string status() const { return form.Label[kStatusMessage].visible ? form.Label[kStatusMessage].caption : ""; }

    /// The clock moves on to the next minute; returns once the update of that minute has run.
    bool nextMinute() {
        if (++clock.time.minute == 60) clock.time.minute = 0, ++clock.time.hour;
        clock.time.second = 0;
        // The minute the per-minute timer sleeps until comes in a second: a second of readings
        // belongs to the closing minute, as when the clock itself moves on.
        if (timers.isRunning(timer::kMinute)) timers.setInterval(timer::kMinute, 1000);
        const std::int64_t key = minuteKey(clock.time);
        return until([&] { return state.scrolledMinute == key; });
    }

    std::string storedPort() { return test::StoredSettings(folder.path()).text("COMport"); }
    /// Linked on port n, which is stored; the window hides its status message and offers the reset.
    bool foundOn(int n) {
        return linked() && port.portNumber() == n && storedPort() == std::to_string(n) && status().empty() &&
               form.cmd[0].caption == "リセット";
    }

    /// The data lines of the master record file.
    std::vector<std::string> recordLines() {
        std::ifstream in(folder.path() / "record" / "master record.csv", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] == '2') lines.push_back(line);
        return lines;
    }

    /// The clock minutes ("09:31") of the master file's data lines, in order.
    std::vector<std::string> recordedMinutes() {
        std::vector<std::string> minutes;
        for (const std::string& line : recordLines()) minutes.push_back(line.substr(11, 5));
        return minutes;
    }

    static bool received(const rx47sim::Simulator& sim, const std::string& line, std::size_t after = 0) {
        return test::timesReceived(sim, line, after) > 0;
    }

    std::vector<std::unique_ptr<rx47sim::Simulator>> sims;
};

struct Search : ::testing::Test {
    LiveMonitor m;
};

TEST_F(Search, WithNoPortAtAllTheSearchIsExhaustedAtOnce) {
    m.start();
    EXPECT_TRUE(m.form.Combo1[1].items.empty());
    EXPECT_TRUE(m.until([&] { return !m.status().empty(); }));
    EXPECT_EQ(m.status(), kCheckText);
    EXPECT_EQ(m.form.cmd[0].caption, "再検索");
    EXPECT_TRUE(m.form.cmd[0].enabled);
}

TEST_F(Search, TheStoredPortAnsweringNeedsNoSearch) {
    m.device(2, true);
    auto& device = m.device(3);
    m.start("3");
    bool everLost = false;
    ASSERT_TRUE(m.until([&] {
        everLost |= !m.linked();
        return m.values.gammaCoefficient != 0 && !m.form.Label[kRealtimeCpm].caption.empty();
    }));
    ASSERT_TRUE(m.nextMinute());
    EXPECT_FALSE(everLost || !m.linked());
    EXPECT_EQ(m.values.gammaCoefficient, 103);
    EXPECT_EQ(m.port.portNumber(), 3);
    EXPECT_EQ(m.form.Combo1[1].items, (std::vector<std::string>{"2", "3"}));
    EXPECT_TRUE(LiveMonitor::received(device, "show"));
}

TEST_F(Search, TheDeviceOnTheThirdOfThreePortsIsFoundAndRemembered) {
    m.device(1, true);
    m.device(2, true);
    m.device(4);
    m.start("7");
    ASSERT_TRUE(m.until([&] { return m.status() == "COMポート検索中"; }));
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    EXPECT_TRUE(m.foundOn(4));

    // It stays there, and every following minute is on disk.
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.nextMinute());
    EXPECT_EQ(m.port.portNumber(), 4);
    const auto minutes = m.recordedMinutes();  // 09:30 too, when a reading came before its update
    ASSERT_GE(minutes.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(minutes.end() - 2, minutes.end()), (std::vector<std::string>{"09:31", "09:32"}));
    EXPECT_TRUE(fs::exists(m.folder.path() / "record/2026_05/2026-05-07.csv"));
}

TEST_F(Search, ADeviceThatNeverAnsweredEndsAtTheReSearchOfferAndIsLookedForAgainEachMinute) {
    m.device(1, true);
    m.device(2, true);
    m.start("5");
    ASSERT_TRUE(m.until([&] { return m.status() == kCheckText; }));
    EXPECT_EQ(m.form.cmd[0].caption, "再検索");
    EXPECT_EQ(m.port.portNumber(), 2);
    // The next minute walks the ports again, from the first, and ends at the same offer.
    const std::size_t asked = m.sims[0]->receivedLines().size();
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.until([&] { return LiveMonitor::received(*m.sims[0], "show", asked); }));
    ASSERT_TRUE(m.until([&] { return m.port.portNumber() == 2 && searchExhausted(m.ctx); }));
    EXPECT_EQ(m.status(), kCheckText);
    EXPECT_EQ(m.storedPort(), "5");
    EXPECT_TRUE(m.recordLines().empty());
}

TEST_F(Search, ACounterPluggedInMinutesAfterTheSearchGaveUpIsFoundWithoutAClick) {
    auto& silent = m.device(1, true);  // a port with nothing that answers
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.status() == kCheckText; }));

    // Every minute the ports are tried again, quietly: the window keeps asking to check the counter.
    bool offerKept = true;
    const auto watching = [&](const std::function<bool()>& done) {
        return m.until([&] {
            offerKept &= m.status() == kCheckText && m.form.cmd[0].caption == "再検索";
            return done();
        });
    };
    for (int i = 0; i < 3; ++i) {
        const std::size_t asked = silent.receivedLines().size();
        ASSERT_TRUE(m.nextMinute());
        ASSERT_TRUE(watching([&] { return LiveMonitor::received(silent, "show", asked) && searchExhausted(m.ctx); }));
    }
    EXPECT_TRUE(offerKept);

    // Three minutes later the counter is plugged in, on a port that did not exist at start.
    auto& device = m.device(3);
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    EXPECT_TRUE(m.foundOn(3));
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());
    const auto minutes = m.recordedMinutes();  // 09:34 too, when a reading came before its update
    ASSERT_FALSE(minutes.empty());
    EXPECT_GE(minutes.front(), "09:34");
    EXPECT_EQ(minutes.back(), "09:35");
    // The simulator logs what it received on a thread of its own: waited for, not raced.
    EXPECT_TRUE(m.until([&] { return LiveMonitor::received(device, "show"); }));
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "no counter answers"), 1);  // one line, not one a round
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "the counter answers on COM3"), 1);
}

TEST_F(Search, ADeviceUnpluggedWhileMonitoringIsFoundAgainOnAnotherPort) {
    auto& first = m.device(1);
    auto& second = m.device(2, true);
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));

    first.unplug();
    ASSERT_TRUE(m.until([&] { return !m.port.isOpen(); }));
    second.silence(false);  // the counter is plugged in again, on port 2
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    EXPECT_TRUE(m.foundOn(2));
}

TEST_F(Search, ADeviceLostOnTheLastListedPortIsLookedForUntilItIsBack) {
    m.device(1, true);
    auto& device = m.device(2);
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.linked() && m.port.portNumber() == 2; }));
    EXPECT_EQ(m.storedPort(), "2");

    // Unplugged: the next minute tries every listed port, the lost one included, and finds none.
    device.unplug();
    ASSERT_TRUE(m.until([&] { return !m.port.isOpen(); }));
    const std::size_t firstShow = m.sims[0]->receivedLines().size();
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.until([&] { return LiveMonitor::received(*m.sims[0], "show", firstShow); }));
    ASSERT_TRUE(m.until([&] { return m.status() == kCheckText; }));
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "lost"), 1);

    // Plugged in again on the same port: found at the next minute's search, without a click.
    device.plugIn();
    const std::size_t shown = device.receivedLines().size();
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    EXPECT_TRUE(m.until([&] { return LiveMonitor::received(device, "show", shown); }));
    EXPECT_TRUE(m.foundOn(2));
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "answers on COM2"), 1);
}

TEST_F(Search, ACounterThatFallsSilentIsSearchedForAndRecordedNoMore) {
    auto& device = m.device(1);
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());  // 09:31, a minute of readings
    const std::size_t before = m.recordLines().size();
    ASSERT_TRUE(m.until([&] { return m.state.readingCount > 0; }));  // a reading, not only the report

    device.silence(true);  // hung, with its port still open
    ASSERT_TRUE(m.until([&] { return !m.timers.isRunning(timer::kIntake); }));
    ASSERT_TRUE(m.nextMinute());  // 09:32: the readings before it fell silent
    ASSERT_TRUE(m.nextMinute());  // 09:33: one quiet minute repeats the last value
    EXPECT_TRUE(m.linked());
    ASSERT_TRUE(m.nextMinute());  // 09:34: the second quiet minute: lost
    EXPECT_FALSE(m.linked());
    EXPECT_EQ(m.status(), "COMポート検索中");
    ASSERT_TRUE(m.until([&] { return m.status() == kCheckText; }));
    ASSERT_TRUE(m.nextMinute());  // 09:35: looked for again, nothing recorded
    const auto whileLost = m.recordedMinutes();
    ASSERT_EQ(whileLost.size(), before + 2);
    EXPECT_EQ(whileLost.back(), "09:33");

    device.silence(false);  // it answers again
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());
    const auto minutes = m.recordedMinutes();
    ASSERT_EQ(minutes.size(), before + 3);
    EXPECT_EQ(minutes.back(), "09:36");
}

TEST_F(Search, ACounterStoppedAndUnpluggedIsToldToSendWhenItIsFoundWhileReceiving) {
    auto& device = m.device(1);
    m.state.isLoading = false;
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));

    Option1_Click(m.ctx, kStopOption);
    ASSERT_TRUE(m.until([&] { return device.isStopped(); }));
    device.unplug();
    ASSERT_TRUE(m.until([&] { return !m.port.isOpen(); }));
    Option1_Click(m.ctx, kReceiveOption);  // while it is away: its "go" goes nowhere
    const std::size_t heard = device.receivedLines().size();
    device.plugIn();
    ASSERT_TRUE(m.nextMinute());  // 09:31: lost, and found again by the search
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    ASSERT_TRUE(m.until([&] { return !device.isStopped(); }));
    EXPECT_TRUE(LiveMonitor::received(device, "go", heard));
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());
    ASSERT_TRUE(m.nextMinute());
    const auto minutes = m.recordedMinutes();
    ASSERT_GE(minutes.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(minutes.end() - 2, minutes.end()), (std::vector<std::string>{"09:32", "09:33"}));
    EXPECT_EQ(m.form.caption, " RX47 monitor");
}

TEST_F(Search, ACounterThatAnswersButSendsNoReadingsIsToldToSendAndItsMinutesAreNotRecorded) {
    auto& device = m.device(1);
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.state.scrolledMinute == minuteKey(m.clock.time) && m.state.readingCount > 0; }));

    // The counter stops on its own (as after a power cycle); the window still says "受信".
    sendCommand(m.port, "stop");
    ASSERT_TRUE(m.until([&] { return device.isStopped(); }));
    ASSERT_TRUE(m.nextMinute());  // 09:31: the readings before it stopped
    ASSERT_TRUE(m.nextMinute());  // 09:32: one minute without: the last value again
    EXPECT_FALSE(m.form.notice.visible);
    EXPECT_FALSE(LiveMonitor::received(device, "go"));
    ASSERT_TRUE(m.nextMinute());  // 09:33: the second: asked to send once more, and told of
    EXPECT_TRUE(m.linked());      // it answers "show": not lost
    EXPECT_EQ(m.form.notice.caption, "RX47から測定値が届きません。RX47の状態を確認してください");
    EXPECT_TRUE(m.form.notice.visible);
    EXPECT_EQ(m.recordedMinutes().back(), "09:32");
    ASSERT_TRUE(m.until([&] { return !device.isStopped(); }));
    EXPECT_EQ(test::timesReceived(device, "go"), 1);
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "answers but sends no readings"), 1);

    // The first reading takes the notice away; the minute after it is recorded again.
    ASSERT_TRUE(m.until([&] { return !m.form.notice.visible; }));
    ASSERT_TRUE(m.nextMinute());  // 09:34
    EXPECT_EQ(m.recordedMinutes().back(), "09:34");
    EXPECT_EQ(m.logLines.count(LogCategory::Port, "sends readings again"), 1);
}

TEST_F(Search, OneRecordLinePerClockMinuteAndNoneBeforeTheFirstReading) {
    auto& device = m.device(1);
    device.silence(true);  // answers nothing at first: the updates find no reading to record
    m.start("1");
    ASSERT_TRUE(m.until([&] { return m.state.scrolledMinute == minuteKey(m.clock.time); }));
    EXPECT_TRUE(m.recordLines().empty());
    EXPECT_EQ(m.form.Label[kMinCpm].caption, "");

    device.silence(false);
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    // Updates forced within the minute (a re-search) ask the device but enter nothing.
    reSearch(m.ctx);
    const std::size_t shows = device.receivedLines().size();
    ASSERT_TRUE(m.until([&] { return LiveMonitor::received(device, "show", shows); }));
    ASSERT_TRUE(m.until([&] { return m.linked(); }));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(m.nextMinute());

    // One line for each clock minute from the first reading on (09:30 itself when a reading came
    // before its update), and no line of 0 CPM.
    const auto lines = m.recordLines();
    ASSERT_TRUE(lines.size() == 3 || lines.size() == 4) << lines.size();
    const std::regex line(R"(2026-05-07,09:3(\d):\d\d,\d*,(\d+),[\d.]+,(\d+),[\d.]+,\d+,[\d.]+,(\d+),[\d.]+\r)");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, line)) << lines[i];
        EXPECT_EQ(match[1], std::to_string(4 - lines.size() + i));
        EXPECT_NE(match[3], "0") << lines[i];
        EXPECT_NE(match[4], "0") << lines[i];
    }
    int bars = 0;
    for (int i = 0; i <= 80; ++i) bars += m.form.tgt[i].visible;
    EXPECT_EQ(bars, static_cast<int>(lines.size()));
}

TEST_F(Search, AReadingWaitingAtTheEndOfTheMinuteBelongsToIt) {
    auto& device = m.device(1, true);
    m.start("1");
    device.sendRaw("20\r\n");
    ASSERT_TRUE(m.until([&] { return m.state.measuring; }));
    ASSERT_TRUE(m.nextMinute());
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "20");

    // The next reading arrives just before the minute ends: its intake would come after the update.
    m.timers.setInterval(timer::kIntake, 10000);
    device.sendRaw("36\r\n");
    ASSERT_TRUE(m.until([&] { return m.timers.isRunning(timer::kIntake); }));
    ASSERT_TRUE(m.nextMinute());
    EXPECT_EQ(m.form.Label[kAverageCpm].caption, "36");
    EXPECT_EQ(m.form.Label[kRealtimeCpm].caption, "36");
}

}  // namespace
}  // namespace rx47
