// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The serial port's contract (platform/serial_port.h), held alike by the in-memory double the core's
// tests run on and by the Qt port on a pseudo-terminal of the device simulator, in a temporary
// program folder whose port table lists only that terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/failure.h"
#include "platform/qt/qt_serial_port.h"
#include "sim/simulator.h"
#include "support/fakes.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/simulated_device.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

/// Port 2 has a device, port 1 has none.
constexpr int kDevicePort = 2;
constexpr int kEmptyPort = 1;

struct MemoryRig {
    static constexpr const char* kName = "Memory";
    test::MemorySerialPort port;
    MemoryRig() { port.devices = {kDevicePort}; }
    SerialPort& serial() { return port; }
    void deviceSends(const std::string& bytes) { port.deliver(bytes); }
    /// Serves events until `done`; the double has none to serve.
    bool runUntil(const std::function<bool()>& done) { return done(); }
    bool deviceGot(const std::string& line) { return std::ranges::count(port.sent, line + "\r\n") > 0; }
    void unplug() { port.unplug(); }
};

struct QtRig {
    static constexpr const char* kName = "Qt";
    test::TempProgramFolder folder{test::TempProgramFolder::Settings::None};
    std::unique_ptr<rx47sim::Simulator> sim;
    std::unique_ptr<QtSerialPort> port;
    QtRig() {
        sim = std::make_unique<rx47sim::Simulator>(
            test::deviceOn(folder.path() / "ports" / ("COM" + std::to_string(kDevicePort))));
        sim->silence(true);  // the line carries only what a test sends
        port = std::make_unique<QtSerialPort>(folder.path());
    }
    SerialPort& serial() { return *port; }
    void deviceSends(const std::string& bytes) { sim->sendRaw(bytes); }
    bool runUntil(const std::function<bool()>& done) { return test::runEventsUntil(done, 5s); }
    bool deviceGot(const std::string& line) {
        return runUntil([&] { return std::ranges::count(sim->receivedLines(), line) > 0; });
    }
    void unplug() {
        sim->unplug();
        runUntil([&] { return !port->isOpen(); });
    }
};

template <class Rig>
struct SerialPortContract : ::testing::Test {
    Rig rig;
    SerialPort& port = rig.serial();
    int arrivals = 0;

    SerialPortContract() {
        port.setDataReceivedHandler([this] { ++arrivals; });
    }
    /// What arrives until `size` bytes have come (or the bound has passed).
    std::string receive(std::size_t size) {
        std::string text;
        rig.runUntil([&] {
            text += port.readAll();
            return text.size() >= size;
        });
        return text;
    }
};

using Rigs = ::testing::Types<MemoryRig, QtRig>;
TYPED_TEST_SUITE(SerialPortContract, Rigs, test::RigNames);

TYPED_TEST(SerialPortContract, APortWithoutADeviceStaysClosedSaysWhyAndOnlyWriteFails) {
    SerialPort& port = this->port;
    EXPECT_EQ(port.portNumber(), 0);
    EXPECT_FALSE(port.open(kEmptyPort));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.portNumber(), kEmptyPort);
    EXPECT_EQ(port.lastOpenFailure().problem, PortProblem::Missing);
    EXPECT_FALSE(port.lastOpenFailure().detail.empty());

    EXPECT_THROW(port.write("show\r\n"), PortClosed);
    EXPECT_EQ(port.readAll(), "");
    port.clearInput();
    port.close();
    EXPECT_FALSE(port.isOpen());

    // The device's port opens; the failure is forgotten.
    ASSERT_TRUE(port.open(kDevicePort));
    EXPECT_EQ(port.lastOpenFailure().problem, PortProblem::None);
}

TYPED_TEST(SerialPortContract, OpeningAnOpenPortKeepsItAsItIs) {
    SerialPort& port = this->port;
    ASSERT_TRUE(port.open(kDevicePort));
    this->rig.deviceSends("25\r\n");
    ASSERT_TRUE(this->rig.runUntil([&] { return this->arrivals > 0; }));

    EXPECT_TRUE(port.open(kEmptyPort));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), kDevicePort);
    EXPECT_EQ(port.lastOpenFailure().problem, PortProblem::None);
    EXPECT_EQ(this->receive(4), "25\r\n") << "what was received went with the second open";
}

TYPED_TEST(SerialPortContract, ProbingSaysWhetherAPortOpensAndLeavesThisOneAsItIs) {
    SerialPort& port = this->port;
    EXPECT_EQ(port.probe(kEmptyPort).problem, PortProblem::Missing);
    EXPECT_EQ(port.probe(kDevicePort).problem, PortProblem::None);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.portNumber(), 0);

    // The device's port, once open, is not opened again: it counts as opening and keeps its data.
    ASSERT_TRUE(port.open(kDevicePort));
    this->rig.deviceSends("25\r\n");
    ASSERT_TRUE(this->rig.runUntil([&] { return this->arrivals > 0; }));
    EXPECT_EQ(port.probe(kDevicePort).problem, PortProblem::None);
    EXPECT_EQ(port.probe(kEmptyPort).problem, PortProblem::Missing);
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(port.portNumber(), kDevicePort);
    EXPECT_EQ(port.lastOpenFailure().problem, PortProblem::None);
    EXPECT_EQ(this->receive(4), "25\r\n");
    port.write("show\r\n");
    EXPECT_TRUE(this->rig.deviceGot("show"));
}

TYPED_TEST(SerialPortContract, TextPassesBothWaysUnchanged) {
    SerialPort& port = this->port;
    ASSERT_TRUE(port.open(kDevicePort));
    port.write("set snd=off\r\n");
    EXPECT_TRUE(this->rig.deviceGot("set snd=off"));

    const std::string raw = std::string("\x01\xB0\r\r\n\xFF", 6) + "12\n";
    this->rig.deviceSends(raw);
    EXPECT_EQ(this->receive(raw.size()), raw);
    EXPECT_GT(this->arrivals, 0);
    EXPECT_EQ(port.readAll(), "");
}

TYPED_TEST(SerialPortContract, ClearInputAndCloseDropWhatWasNotRead) {
    SerialPort& port = this->port;
    ASSERT_TRUE(port.open(kDevicePort));
    this->rig.deviceSends("11\r\n");
    ASSERT_TRUE(this->rig.runUntil([&] { return this->arrivals > 0; }));
    port.clearInput();
    EXPECT_EQ(port.readAll(), "");
    this->rig.deviceSends("22\r\n");
    EXPECT_EQ(this->receive(4), "22\r\n");

    const int before = this->arrivals;
    this->rig.deviceSends("33\r\n");
    ASSERT_TRUE(this->rig.runUntil([&] { return this->arrivals > before; }));
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.readAll(), "");
    EXPECT_THROW(port.write("show\r\n"), PortClosed);
    port.close();

    ASSERT_TRUE(port.open(kDevicePort));
    this->rig.deviceSends("77\r\n");
    EXPECT_EQ(this->receive(4), "77\r\n");
}

TYPED_TEST(SerialPortContract, TheHandlerFindsTheTextThereAndAFailureOfItStaysInsideThePort) {
    SerialPort& port = this->port;
    ASSERT_TRUE(port.open(kDevicePort));
    std::string got;
    port.setDataReceivedHandler([&] {
        got += port.readAll();
        throw Failure("handler failure");
    });
    this->rig.deviceSends("44\r\n");
    ASSERT_TRUE(this->rig.runUntil([&] { return !got.empty(); }));
    this->rig.deviceSends("55\r\n");
    EXPECT_TRUE(this->rig.runUntil([&] { return got == "44\r\n55\r\n"; })) << got;
}

TYPED_TEST(SerialPortContract, ADeviceThatGoesAwayClosesThePort) {
    SerialPort& port = this->port;
    ASSERT_TRUE(port.open(kDevicePort));
    this->rig.unplug();
    EXPECT_FALSE(port.isOpen());
    EXPECT_THROW(port.write("show\r\n"), PortClosed);
    EXPECT_EQ(port.readAll(), "");
}

}  // namespace
}  // namespace rx47
