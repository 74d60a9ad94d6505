// Finding the device through the real serial adapter: simulators on pseudo-terminals in a temporary
// port table, the monitor's timers in virtual time and the Qt event loop serving the port for real.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "device/link.h"
#include "model/main_form.h"
#include "monitor/timer_schedule.h"
#include "platform/qt/qt_serial_port.h"
#include "sim/simulator.h"
#include "storage/records.h"
#include "support/program_folder.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::runEventsFor;

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

/// The monitor core with the real serial adapter over a port table of simulators.
struct LiveMonitor {
    LiveMonitor() {
        fs::create_directories(folder.path() / "ports");
        settings.open(folder.path());
        setUpTimers(ctx);
        timers.setTickHandler([this](int index) { onTimerTick(ctx, index); });
        port.setDataReceivedHandler([this] { onDataReceived(ctx); });
        clock.time = {2026, 5, 7, 9, 30, 0};
        state.monthFolder = monthFolderName(clock.time);
        createRecordFolders(folder.path(), state.monthFolder);
    }

    fs::path portLink(int n) const { return folder.path() / "ports" / ("COM" + std::to_string(n)); }

    /// A device on port n; a silent one stands for a port with nothing behind it.
    rx47sim::Simulator& device(int n, bool silent = false) {
        rx47sim::Options options;
        options.link = portLink(n);
        options.intervalSeconds = 0.25;
        options.gms = 100 + n;
        sims.push_back(std::make_unique<rx47sim::Simulator>(options));
        if (silent) sims.back()->silence(true);
        return *sims.back();
    }

    void storePort(const std::string& n) {
        settings.write("COMport", n);
        settings.commit();
    }

    void start() {
        startUpConnection(ctx);
        timers.start(timer::kMinute);
    }

    /// One second of monitoring: virtual timers in tenths, with the event loop serving the port.
    void second() {
        for (int i = 0; i < 10; ++i) {
            runEventsFor(15ms);
            timers.advance(100);
        }
        if (++clock.time.second == 60) clock.time.second = 0, ++clock.time.minute;
    }

    /// Seconds of monitoring until `done`, at most `limit`.
    bool secondsUntil(const std::function<bool()>& done, int limit = 30) {
        for (int i = 0; i < limit && !done(); ++i) second();
        return done();
    }

    std::string storedPort() {
        SettingsRow reread;
        reread.open(folder.path());
        return reread.text("COMport");
    }

    test::TempProgramFolder folder;
    MainForm form = makeMainForm();
    MonitorState state;
    ProgramValues values;
    SettingsRow settings;
    QtSerialPort port{folder.path()};
    test::VirtualTimerArray timers;
    test::SettableClock clock;
    test::RecordingDesktop desktop;
    test::ScriptedWavePlayer player;
    test::ScriptedEventPump pump;
    FailureLog log;
    Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, folder.path(), log};
    std::vector<std::unique_ptr<rx47sim::Simulator>> sims;
};

std::string statusOf(const LiveMonitor& m) {
    return m.form.Label[kStatusMessage].visible ? m.form.Label[kStatusMessage].caption : "";
}

TEST(Search, WithNoPortAtAllTheSearchIsExhaustedAtOnce) {
    LiveMonitor m;
    m.start();
    EXPECT_TRUE(m.form.Combo1[1].items.empty());
    EXPECT_TRUE(m.secondsUntil([&] { return !statusOf(m).empty(); }, 5));
    EXPECT_EQ(statusOf(m), "RX47の接続を確認してください");
    EXPECT_EQ(m.form.cmd[0].caption, "再検索");
    EXPECT_TRUE(m.form.cmd[0].enabled);
}

TEST(Search, TheStoredPortAnsweringNeedsNoSearch) {
    LiveMonitor m;
    m.device(2, true);
    auto& device = m.device(3);
    m.storePort("3");
    m.start();
    bool everLost = false;
    m.secondsUntil(
        [&] {
            everLost |= m.state.linkUp != kTrue;
            return m.values.gammaCoefficient != 0 && !m.form.Label[kRealtimeCpm].caption.empty();
        },
        20);
    EXPECT_FALSE(everLost);
    EXPECT_EQ(m.values.gammaCoefficient, 103);
    EXPECT_EQ(m.port.portNumber(), 3);
    EXPECT_EQ(m.form.Combo1[1].items, (std::vector<std::string>{"2", "3"}));
    const auto lines = device.receivedLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "show"), lines.end());
}

TEST(Search, TheDeviceOnTheThirdOfThreePortsIsFoundAndRemembered) {
    LiveMonitor m;
    m.device(1, true);
    m.device(2, true);
    m.device(4);
    m.storePort("7");
    m.start();
    ASSERT_TRUE(m.secondsUntil([&] { return statusOf(m) == "COMポート検索中"; }, 5));
    ASSERT_TRUE(m.secondsUntil([&] { return m.state.linkUp == kTrue; }, 20));
    EXPECT_EQ(m.port.portNumber(), 4);
    EXPECT_EQ(m.storedPort(), "4");
    EXPECT_EQ(statusOf(m), "");
    EXPECT_EQ(m.form.cmd[0].caption, "リセット");

    // It stays there, and from the next clock minute every minute is on disk.
    m.secondsUntil([] { return false; }, 62);
    EXPECT_EQ(m.port.portNumber(), 4);
    const fs::path master = m.folder.path() / "record" / "master record.csv";
    std::ifstream in(master, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_GE(std::count(bytes.begin(), bytes.end(), '\n'), 3);
    EXPECT_NE(bytes.find("\r\n2026-05-07,09:31:"), std::string::npos);
    EXPECT_TRUE(fs::exists(m.folder.path() / "record/2026_05/2026-05-07.csv"));
}

TEST(Search, AnExhaustedSearchStopsOnTheLastPortWithTheReSearchOffer) {
    LiveMonitor m;
    m.device(1, true);
    m.device(2, true);
    m.storePort("5");
    m.start();
    ASSERT_TRUE(m.secondsUntil([&] { return statusOf(m) == "RX47の接続を確認してください"; }, 15));
    EXPECT_EQ(m.form.cmd[0].caption, "再検索");
    EXPECT_EQ(m.port.portNumber(), 2);
    m.secondsUntil([] { return false; }, 4);
    EXPECT_EQ(m.port.portNumber(), 2);  // no wrap-around
    EXPECT_EQ(m.storedPort(), "5");
}

TEST(Search, ADeviceUnpluggedWhileMonitoringIsFoundAgainOnAnotherPort) {
    LiveMonitor m;
    auto& first = m.device(1);
    auto& second = m.device(2, true);
    m.storePort("1");
    m.start();
    ASSERT_TRUE(m.secondsUntil([&] { return !m.form.Label[kAverageCpm].caption.empty(); }, 70));

    first.unplug();
    ASSERT_TRUE(m.secondsUntil([&] { return !m.port.isOpen(); }, 5));
    ASSERT_TRUE(m.secondsUntil([&] { return m.state.linkUp == kFalse; }, 65));
    second.silence(false);  // the counter is plugged in again, on port 2
    ASSERT_TRUE(m.secondsUntil([&] { return m.state.linkUp == kTrue; }, 20));
    EXPECT_EQ(m.port.portNumber(), 2);
    EXPECT_EQ(m.storedPort(), "2");
    EXPECT_EQ(statusOf(m), "");
}

}  // namespace
}  // namespace rx47
