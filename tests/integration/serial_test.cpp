// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The Qt serial port against the device simulator on a real pseudo-terminal, and the rx47-sim
// program itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "platform/qt/qt_serial_port.h"
#include "sim/simulator.h"
#include "support/file_checks.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/simulated_device.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using rx47::test::runEventsUntil;

/// Collects what the port receives until `done(received)` or the timeout.
std::string receiveUntil(rx47::QtSerialPort& port, const std::function<bool(const std::string&)>& done,
                         std::chrono::milliseconds timeout = 5s) {
    std::string received;
    runEventsUntil(
        [&] {
            received += port.readAll();
            return done(received);
        },
        timeout);
    return received;
}

/// Runs the event loop (which sends what the port was given) until the device has received `line`.
bool deviceReceives(const rx47sim::Simulator& sim, const std::string& line) {
    return runEventsUntil([&] { return rx47::test::timesReceived(sim, line) > 0; }, 5s);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool hasReport(const std::string& text) {
    return contains(text, "ttc:") && contains(text.substr(text.find("ttc:")), "\r\n");
}

/// A program folder whose port table lists only what a test links into it.
class ProgramFolder {
public:
    ProgramFolder() { fs::create_directories(folder_.path() / "ports"); }
    const fs::path& path() const { return folder_.path(); }
    fs::path port(int n) const { return path() / "ports" / ("COM" + std::to_string(n)); }

private:
    rx47::test::TempProgramFolder folder_{rx47::test::TempProgramFolder::Settings::None};
};

/// The Qt serial port of such a folder.
struct SerialPort : ::testing::Test {
    ProgramFolder folder;
    rx47::QtSerialPort port{folder.path()};
    int notices = 0;
    void countNotices() {
        port.setDataReceivedHandler([this] { ++notices; });
    }
    /// What the device sends until a whole line is in.
    std::string aLine() {
        return receiveUntil(port, [](const std::string& s) { return contains(s, "\r\n"); });
    }
};

// What every port promises (a port without a device, bytes unchanged both ways, clearing, closing)
// is checked on both ports by tests/contract/serial_port_contract_test; here is what the device
// and the terminal add.
TEST_F(SerialPort, ReadingsWaitInTheTerminalAndTheDeviceAnswersWithoutEcho) {
    rx47sim::Simulator sim(rx47::test::deviceOn(folder.port(2), 0.2));

    std::this_thread::sleep_for(600ms);  // readings pile up in the terminal meanwhile
    ASSERT_TRUE(port.open(2));
    // Readings sent before the port was opened waited in the terminal as they were sent.
    const std::string waiting = aLine();
    EXPECT_TRUE(contains(waiting, "\r\n") && !contains(waiting, "\n\n")) << waiting;
    // The first reading already counts over a minute at the mean of 25 CPM: never a second's
    // count scaled up (0, 60, 120).
    const int first = std::atoi(waiting.substr(0, waiting.find("\r\n")).c_str());
    EXPECT_GE(first, 5) << waiting;
    EXPECT_LE(first, 55) << waiting;
    countNotices();
    port.clearInput();

    port.write("show\r\n");
    const std::string report = receiveUntil(port, hasReport);
    EXPECT_GT(notices, 0);
    EXPECT_TRUE(contains(report, "gms:120\r\n")) << report;
    EXPECT_TRUE(contains(report, "atc:100\r\n")) << report;
    EXPECT_TRUE(contains(report, "ttc:")) << report;
    EXPECT_FALSE(contains(report, "show")) << "the command came back as an echo: " << report;
    EXPECT_TRUE(deviceReceives(sim, "show"));
    EXPECT_EQ(sim.receivedLines(), std::vector<std::string>{"show"});

    // Readings: a bare number, CR LF, exactly as sent.
    static const std::regex reading("(^|\n)[0-9]+\r\n");
    const std::string readings = receiveUntil(port, [](const std::string& s) { return std::regex_search(s, reading); });
    EXPECT_TRUE(std::regex_search(readings, reading)) << readings;
}

TEST_F(SerialPort, CommandsChangeTheDeviceAndSaveKeepsItsSettings) {
    const fs::path state = folder.path() / "device-state";
    rx47sim::Options options = rx47::test::deviceOn(folder.port(2), 0.2);
    options.stateFile = state;
    options.meanCpm = 60000;  // a total count that grows by about a thousand a second
    {
        rx47sim::Simulator sim(options);
        ASSERT_TRUE(port.open(2));
        port.clearInput();

        for (const char* line : {"set atc=150\r\n", "set gms=95\r\n", "set snd=off\r\n", "save\r\n"}) port.write(line);
        ASSERT_TRUE(deviceReceives(sim, "save"));
        EXPECT_EQ(sim.settings().atc, 150);
        EXPECT_EQ(sim.settings().gms, 95);
        EXPECT_FALSE(sim.settings().sound);

        // "stop" holds the readings back until "go".
        port.write("stop\r\n");
        ASSERT_TRUE(runEventsUntil([&] { return sim.isStopped(); }, 5s));
        port.clearInput();  // what was on its way before the stop
        // Its answer to "show" comes after whatever it sent since: the model line and the status alone.
        port.write("show\r\n");
        const std::string answer = receiveUntil(port, hasReport);
        ASSERT_TRUE(hasReport(answer)) << answer;
        EXPECT_EQ(std::count(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(answer.find("gms:")), '\n'),
                  1)
            << answer;
        port.write("go\r\n");
        EXPECT_NE(aLine(), "");

        // Clearing the total count.
        ASSERT_TRUE(runEventsUntil([&] { return sim.totalCount() > 2500; }, 10s));
        const long long before = sim.totalCount();
        port.write("set ttc=0\r\n");
        ASSERT_TRUE(deviceReceives(sim, "set ttc=0"));
        EXPECT_LT(sim.totalCount(), before);
        port.close();
    }
    EXPECT_FALSE(fs::exists(folder.port(2))) << "a stopped simulator leaves its link behind";

    // The next session of the device starts from the saved settings.
    options.meanCpm = 25;
    rx47sim::Simulator sim(options);
    ASSERT_TRUE(port.open(2));
    port.clearInput();
    port.write("show\r\n");
    const std::string report = receiveUntil(port, hasReport);
    EXPECT_TRUE(contains(report, "atc:150\r\n")) << report;
    EXPECT_TRUE(contains(report, "gms:95\r\n")) << report;
    EXPECT_TRUE(contains(report, "snd:off\r\n")) << report;
}

TEST_F(SerialPort, AnUnpluggedDeviceClosesThePortAndPlugsInAgain) {
    rx47sim::Simulator sim(rx47::test::deviceOn(folder.port(2), 0.2));
    ASSERT_TRUE(port.open(2));
    countNotices();
    ASSERT_TRUE(runEventsUntil([&] { return notices > 0; }, 5s)) << "no readings before unplugging";

    sim.unplug();
    EXPECT_FALSE(fs::exists(folder.port(2)) || fs::is_symlink(folder.port(2)));
    ASSERT_TRUE(runEventsUntil([&] { return !port.isOpen(); }, 5s)) << "the port stayed open";
    EXPECT_THROW(port.write("show\r\n"), rx47::PortClosed);

    EXPECT_FALSE(port.open(2)) << "opened a port whose device is gone";

    sim.plugIn();
    ASSERT_TRUE(port.open(2));
    port.clearInput();
    port.write("show\r\n");
    EXPECT_TRUE(hasReport(receiveUntil(port, hasReport)));
}

/// A line of the test's own: a pseudo-terminal linked into a program folder. Its writer blocks while
/// the terminal is full, so it goes exactly as fast as the port reads.
class TestLine {
public:
    explicit TestLine(const fs::path& link) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[256] = {};
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
            ::ptsname_r(master_, name, sizeof name) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        fs::create_symlink(name, link);
    }
    ~TestLine() {
        stop_ = true;
        if (writer_.joinable()) writer_.join();
        ::close(slave_);
        ::close(master_);
    }
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    /// Writes the bytes from a thread of its own; written() tells when all went out.
    void writeInBackground(std::string bytes) {
        if (writer_.joinable()) writer_.join();
        written_ = false;
        writer_ = std::thread([this, bytes = std::move(bytes)] {
            std::size_t at = 0;
            while (at < bytes.size() && !stop_) {
                pollfd fd{master_, POLLOUT, 0};
                if (::poll(&fd, 1, 50) <= 0) continue;
                const ssize_t n = ::write(master_, bytes.data() + at, bytes.size() - at);
                if (n > 0) at += static_cast<std::size_t>(n);
            }
            written_ = at == bytes.size();
        });
    }
    bool written() const { return written_; }

    /// What the port sent, waited for up to the timeout without serving any events.
    std::string sent(std::size_t size, std::chrono::milliseconds timeout = 5s) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (text.size() < size && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
        }
        return text;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::thread writer_;
    std::atomic<bool> written_{false};
    std::atomic<bool> stop_{false};
};

TEST_F(SerialPort, WritesLeaveAtOnceAndAFloodOnlyFillsTheReceiveBuffer) {
    TestLine line(folder.port(1));
    ASSERT_TRUE(port.open(1));
    countNotices();

    // A command is on the line when write() returns, not at the event loop's next turn.
    port.write("show\r\n");
    EXPECT_EQ(line.sent(6), "show\r\n");

    // Four buffers' worth of numbered readings: the buffer keeps the first of them, whole and in
    // order, and the rest is read from the line and lost.
    constexpr std::size_t size = rx47::QtSerialPort::kReceiveBufferSize;
    std::string flood;
    for (int i = 0; flood.size() < 4 * size; ++i) flood += std::to_string(i) + "\r\n";
    line.writeInBackground(flood);
    ASSERT_TRUE(runEventsUntil([&] { return line.written() && port.overrunBytes() == flood.size() - size; }, 30s))
        << port.overrunBytes() << " bytes lost";
    EXPECT_GT(notices, 0);
    EXPECT_EQ(port.readAll(), flood.substr(0, size));

    // Once read, the buffer takes what comes next.
    line.writeInBackground("77\r\n");
    EXPECT_EQ(receiveUntil(port, [](const std::string& s) { return s.size() >= 4; }), "77\r\n");
}

TEST(SimulatorProgram, ServesTheLinkUntilTerminatedAndCleansUp) {
    ProgramFolder folder;
    const fs::path log = folder.path() / "received.log";
    // Its standard input a pipe of the test's own.
    const fs::path input = folder.path() / "input";
    ASSERT_EQ(::mkfifo(input.c_str(), 0600), 0);
    rx47::test::Process sim({"/bin/sh", "-c", "exec \"$@\" < \"$0\"", input.string(), RX47_PROGRAM_FOLDER "/rx47-sim",
                             "--link", folder.port(3).string(), "--interval", "0.2", "--log", log.string(), "--seed",
                             "7"});
    int toSim = -1;
    ASSERT_TRUE(rx47::test::waitFor(
        [&] { return (toSim = ::open(input.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, 5s));
    ASSERT_TRUE(rx47::test::waitFor([&] { return contains(sim.output(), "\n"); }, 5s));
    const std::string pty = sim.output().substr(0, sim.output().find('\n'));
    ASSERT_EQ(pty.rfind("/dev/pts/", 0), 0u) << "first line: " << pty;
    ASSERT_TRUE(fs::is_symlink(folder.port(3)));
    EXPECT_EQ(fs::read_symlink(folder.port(3)), fs::path(pty));

    rx47::QtSerialPort port(folder.path());
    ASSERT_TRUE(port.open(3));
    port.clearInput();
    port.write("show\r\n");
    EXPECT_TRUE(hasReport(receiveUntil(port, hasReport)));

    // Commands on its input; the end of the input does not end it.
    ASSERT_EQ(::write(toSim, "silence on\n", 11), 11);
    ::close(toSim);
    ASSERT_TRUE(rx47::test::waitFor([&] { return contains(sim.output(), "\nsilence on\n"); }, 5s)) << sim.output();
    port.clearInput();  // what was on its way before the silence
    EXPECT_EQ(receiveUntil(
                  port, [](const std::string& s) { return !s.empty(); }, 800ms),
              "");
    EXPECT_TRUE(sim.running());

    const std::string logText = rx47::test::bytesOf(log);
    EXPECT_TRUE(std::regex_search(logText, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} show\n)"))) << logText;

    ASSERT_TRUE(sim.endWith(SIGTERM, 5s)) << "still running after SIGTERM";
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(fs::is_symlink(folder.port(3)));
    EXPECT_TRUE(runEventsUntil([&] { return !port.isOpen(); }, 5s));
}

}  // namespace
