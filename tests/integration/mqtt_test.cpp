// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// MQTT as a home-automation user meets it: the real program publishing to a real mosquitto broker
// started by the test on a loopback port, read back by mosquitto_sub. Home Assistant's discovery, the
// values and retained flags, a broker that dies and comes back while an alarm is raised, the last
// will of a killed program, and a broker behind TLS with a certificate authority of the test's own.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>

#include "sim/simulator.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/simulated_device.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;

const std::string kPrefix = "test/station";

/// A mosquitto broker on a free loopback port, with the monitor's user "rx47" (password "secret"),
/// the test's own "watcher" and, when asked, TLS with the test's own certificate authority.
struct Broker {
    fs::path folder;
    int port = test::freeLoopbackPort();
    bool tls = false;
    std::unique_ptr<test::Process> process;

    Broker(const fs::path& where, bool withTls) : folder(where), tls(withTls) {
        fs::create_directories(folder);
        test::runProgram({"/usr/bin/mosquitto_passwd", "-b", "-c", passwords(), "watcher", "watch"});
        admit(true);
        std::ofstream config(folder / "mosquitto.conf");
        // Started as root, mosquitto would drop to its own user, who cannot read the test's folder.
        config << "user " << ::getpwuid(::getuid())->pw_name << "\n";
        config << "listener " << port << " 127.0.0.1\nallow_anonymous false\npassword_file "
               << (folder / "passwords").string() << "\n";
        if (tls) {
            makeCertificates();
            config << "cafile " << (folder / "ca.crt").string() << "\ncertfile " << (folder / "server.crt").string()
                   << "\nkeyfile " << (folder / "server.key").string() << "\n";
        }
    }
    std::string passwords() const { return (folder / "passwords").string(); }
    /// Lets the monitor's user in, or keeps it out; a running broker reads its users again.
    void admit(bool monitor) {
        if (monitor)
            test::runProgram({"/usr/bin/mosquitto_passwd", "-b", passwords(), "rx47", "secret"});
        else
            test::runProgram({"/usr/bin/mosquitto_passwd", "-D", passwords(), "rx47"});
        if (process && process->started()) ::kill(process->pid(), SIGHUP);
    }
    void makeCertificates() {
        const auto in = [&](const std::string& name) { return (folder / name).string(); };
        const auto openssl = [](std::vector<std::string> arguments) {
            arguments.insert(arguments.begin(), "/usr/bin/openssl");
            ASSERT_EQ(test::runProgram(arguments).exitCode, 0);
        };
        openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", in("ca.key"), "-out", in("ca.crt"),
                 "-subj", "/CN=RX47 test authority", "-days", "2"});
        openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", in("server.key"), "-out", in("server.csr"), "-subj",
                 "/CN=127.0.0.1"});
        std::ofstream(in("san.ext")) << "subjectAltName=IP:127.0.0.1\n";
        openssl({"x509", "-req", "-in", in("server.csr"), "-CA", in("ca.crt"), "-CAkey", in("ca.key"),
                 "-CAcreateserial", "-out", in("server.crt"), "-days", "2", "-extfile", in("san.ext")});
    }
    void start() {
        process = std::make_unique<test::Process>(
            std::vector<std::string>{"/usr/sbin/mosquitto", "-c", (folder / "mosquitto.conf").string()});
        ASSERT_TRUE(test::waitFor(
            [&] { return process->output().find("running") != std::string::npos || !process->started(); }, 20s))
            << process->output();
    }
    void kill() { process->endWith(SIGKILL); }
    std::vector<std::string> clientArguments(const char* program) const {
        std::vector<std::string> a = {program, "-h",      "127.0.0.1", "-p",   std::to_string(port),
                                      "-u",    "watcher", "-P",        "watch"};
        if (tls) a.insert(a.end(), {"--cafile", (folder / "ca.crt").string()});
        return a;
    }
};

/// One message as mosquitto_sub printed it.
struct Received {
    bool retained = false;
    std::string topic;
    std::string payload;
};

/// mosquitto_sub on every topic, printing the retained flag, the topic and the payload of each.
struct Subscriber {
    std::unique_ptr<test::Process> process;
    explicit Subscriber(const Broker& broker) {
        std::vector<std::string> a = broker.clientArguments("/usr/bin/mosquitto_sub");
        a.insert(a.end(), {"-F", "%r %t %p", "-t", "#"});
        process = std::make_unique<test::Process>(a);
    }
    std::vector<Received> messages() const {
        std::vector<Received> all;
        std::istringstream lines(process->output());
        for (std::string line; std::getline(lines, line);) {
            const auto a = line.find(' ');
            const auto b = a == std::string::npos ? a : line.find(' ', a + 1);
            if (b == std::string::npos) continue;
            all.push_back({line.substr(0, a) == "1", line.substr(a + 1, b - a - 1), line.substr(b + 1)});
        }
        return all;
    }
    std::optional<Received> last(const std::string& topic) const {
        std::optional<Received> found;
        for (const Received& m : messages())
            if (m.topic == topic) found = m;
        return found;
    }
    bool waitFor(const std::string& topic, const std::string& payload, std::chrono::seconds timeout = 60s) const {
        return test::waitFor(
            [&] {
                for (const Received& m : messages())
                    if (m.topic == topic && (payload.empty() || m.payload == payload)) return true;
                return false;
            },
            timeout);
    }
};

struct Mqtt : ::testing::Test {
    test::TempProgramFolder folder;
    rx47sim::Simulator device{test::deviceOn(folder.path() / "ports" / "COM1")};

    std::unique_ptr<test::Process> startProgram(const Broker& broker) {
        std::ofstream(folder.path() / "mqtt-password") << "secret\n";
        std::vector<std::string> a = {
            std::string(RX47_PROGRAM_FOLDER) + "/rx47-monitor",
            "--folder",
            folder.path().string(),
            "--mqtt",
            (broker.tls ? "mqtts://rx47@127.0.0.1:" : "mqtt://rx47@127.0.0.1:") + std::to_string(broker.port),
            "--mqtt-password-file",
            (folder.path() / "mqtt-password").string(),
            "--mqtt-topic",
            kPrefix};
        if (broker.tls) a.insert(a.end(), {"--mqtt-ca", (broker.folder / "ca.crt").string()});
        auto program = std::make_unique<test::Process>(a, std::vector<std::string>{"QT_QPA_PLATFORM=offscreen"});
        EXPECT_TRUE(program->started());
        return program;
    }
};

TEST_F(Mqtt, HomeAssistantFindsTheCounterAndNoAlarmIsLostWhileTheBrokerIsAway) {
    Broker broker(folder.path() / "broker", false);
    broker.start();
    Subscriber everything(broker);
    auto program = startProgram(broker);

    ASSERT_TRUE(everything.waitFor(kPrefix + "/reading", "")) << program->output();
    EXPECT_TRUE(everything.waitFor(kPrefix + "/availability", "online"));
    EXPECT_TRUE(everything.waitFor(kPrefix + "/link", "ON"));
    // Every discovery message is retained JSON with what Home Assistant needs, all of one device: a
    // newcomer gets them from the broker, flagged as retained (live ones never are).
    Subscriber newcomer(broker);
    ASSERT_TRUE(newcomer.waitFor(kPrefix + "/link", "ON"));
    int configs = 0;
    std::set<std::string> uniqueIds, devices;
    for (const Received& m : newcomer.messages()) {
        if (m.topic.rfind("homeassistant/", 0) != 0) continue;
        ++configs;
        EXPECT_TRUE(m.retained) << m.topic;
        const json config = json::parse(m.payload, nullptr, false);
        ASSERT_TRUE(config.is_object()) << m.payload;
        for (const char* field : {"name", "unique_id", "state_topic", "availability", "device"})
            EXPECT_TRUE(config.contains(field)) << field << " in " << m.payload;
        EXPECT_EQ(config["state_topic"].get<std::string>().rfind(kPrefix + "/", 0), 0u) << m.payload;
        uniqueIds.insert(config["unique_id"].get<std::string>());
        devices.insert(config["device"]["identifiers"][0].get<std::string>());
        EXPECT_TRUE(m.topic.size() > 7 && m.topic.substr(m.topic.size() - 7) == "/config") << m.topic;
    }
    EXPECT_EQ(configs, 9);
    EXPECT_EQ(uniqueIds.size(), 9u);
    EXPECT_EQ(devices.size(), 1u);
    const auto reading = everything.last(kPrefix + "/reading");
    ASSERT_TRUE(reading);
    EXPECT_GT(std::stoi(reading->payload), 0);

    // The broker dies; the counter goes above the alarm level meanwhile; the broker comes back
    // (without what it kept), first refusing the monitor, so that a watcher is there before the
    // monitor gets in: the alarm reaches it, and the retained state is there again.
    broker.kill();
    device.spike(400, 600);
    ASSERT_TRUE(test::waitFor([&] { return program->output().find("alarm raised") != std::string::npos; }, 60s))
        << program->output();
    broker.admit(false);
    broker.start();
    std::vector<std::string> mark = broker.clientArguments("/usr/bin/mosquitto_pub");
    mark.insert(mark.end(), {"-r", "-t", "test/ready", "-m", "yes"});
    ASSERT_EQ(test::runProgram(mark, {}, 30s).exitCode, 0);
    Subscriber afterwards(broker);
    ASSERT_TRUE(afterwards.waitFor("test/ready", "yes"));  // it listens
    EXPECT_TRUE(
        test::waitFor([&] { return broker.process->output().find("not authorised") != std::string::npos; }, 30s))
        << broker.process->output();
    broker.admit(true);
    ASSERT_TRUE(afterwards.waitFor(kPrefix + "/alarm/event", "")) << program->output();
    const json event = json::parse(afterwards.last(kPrefix + "/alarm/event")->payload);
    EXPECT_EQ(event["event"], "raised");
    // Whichever level the burst crossed first (its dose rate is far above the dose level too).
    EXPECT_TRUE(event["kind"] == "cpm" || event["kind"] == "dose") << event;
    EXPECT_GT(event["value"].get<double>(), event["level"].get<double>()) << event;
    ASSERT_TRUE(afterwards.waitFor(kPrefix + "/alarm", "ON"));
    {
        Subscriber late(broker);  // a newcomer gets the state from the broker
        ASSERT_TRUE(late.waitFor(kPrefix + "/alarm", "ON"));
        // The first it gets is what the broker kept; the monitor may publish the state again live
        // meanwhile (not marked retained to a subscriber already there).
        bool alarmSensor = false;
        const std::vector<Received> got = late.messages();
        const Received* firstAlarm = nullptr;
        for (const Received& m : got) {
            alarmSensor |= m.retained && m.topic.rfind("homeassistant/binary_sensor/", 0) == 0 &&
                           m.topic.find("/alarm/config") != std::string::npos;
            if (!firstAlarm && m.topic == kPrefix + "/alarm") firstAlarm = &m;
        }
        ASSERT_NE(firstAlarm, nullptr);
        EXPECT_TRUE(firstAlarm->retained);
        EXPECT_EQ(firstAlarm->payload, "ON");
        EXPECT_TRUE(alarmSensor);
    }

    // Killed, the program cannot say goodbye: its last will does.
    program->endWith(SIGKILL);
    EXPECT_TRUE(afterwards.waitFor(kPrefix + "/availability", "offline", 30s));
}

TEST_F(Mqtt, TheBrokerIsReachedOverTlsWithItsAuthority) {
    Broker broker(folder.path() / "broker", true);
    broker.start();
    Subscriber everything(broker);
    auto program = startProgram(broker);
    ASSERT_TRUE(everything.waitFor(kPrefix + "/availability", "online")) << program->output();
    ASSERT_TRUE(everything.waitFor(kPrefix + "/reading", ""));
    // Ended in order, it says so itself.
    EXPECT_TRUE(program->endWith(SIGTERM));
    EXPECT_EQ(program->exitCode(), 0) << program->output();
    EXPECT_TRUE(everything.waitFor(kPrefix + "/availability", "offline", 30s));
}

}  // namespace
}  // namespace rx47
