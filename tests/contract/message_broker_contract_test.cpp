// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The message broker's contract (platform/message_broker.h) held by the libmosquitto client against
// a mosquitto broker of the test's own on a loopback port, read back by mosquitto_sub as a newcomer
// gets the retained messages. (The last will of a program killed is mqtt_test's.)
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "base/log.h"
#include "platform/qt/mqtt_client.h"
#include "support/fakes.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

/// A broker without persistence: started again, it has forgotten what it kept.
struct Broker {
    std::filesystem::path config;
    int port = test::freeLoopbackPort();
    std::unique_ptr<test::Process> process;

    explicit Broker(const std::filesystem::path& folder) : config(folder / "mosquitto.conf") {
        // Started as root, mosquitto would drop to its own user.
        std::ofstream(config) << "user " << ::getpwuid(::getuid())->pw_name << "\nlistener " << port
                              << " 127.0.0.1\nallow_anonymous true\n";
    }
    void start() {
        process =
            std::make_unique<test::Process>(std::vector<std::string>{"/usr/sbin/mosquitto", "-c", config.string()});
        ASSERT_TRUE(test::waitFor([&] { return process->output().find("running") != std::string::npos; }, 20s))
            << process->output();
    }
    /// The first `count` messages a newcomer to `topics` gets, as "topic payload" lines (`format`
    /// "%r %t %p": with the retained flag first).
    std::set<std::string> newcomerGets(const std::string& topics, int count, const char* format = "%r %t %p") const {
        const test::Finished sub =
            test::runProgram({"/usr/bin/mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port), "-C",
                              std::to_string(count), "-W", "30", "-F", format, "-t", topics});
        std::set<std::string> lines;
        std::istringstream in(sub.output);
        for (std::string line; std::getline(in, line);) lines.insert(line);
        return lines;
    }
};

TEST(MessageBrokerContract, WhatWaitsWhileTheBrokerIsAwayGoesOutAndEachConnectionIsAnnounced) {
    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    Broker broker(folder.path());
    broker.start();
    test::RecordingLogSink lines;
    FailureLog log(&lines);
    auto client = std::make_unique<MqttClient>(MqttClient::Options{
        {false, "", "127.0.0.1", broker.port}, std::nullopt, {}, "rx47-contract", "c/availability"});
    client->setLog(&log);
    int connections = 0;
    client->setConnectedHandler([&] { ++connections; });
    ASSERT_TRUE(client->start());
    ASSERT_TRUE(test::runEventsUntil([&] { return connections == 1; }, 30s));
    EXPECT_EQ(broker.newcomerGets("c/availability", 1), std::set<std::string>{"1 c/availability online"});

    // Away (and noticed so), the broker is handed more than the queue holds: the oldest go, said once.
    broker.process->endWith(SIGKILL);
    ASSERT_TRUE(test::runEventsUntil([&] { return lines.count(LogCategory::Mqtt, "is lost") == 1; }, 30s));
    const int handed = static_cast<int>(MqttClient::kQueueLimit) + 5;
    for (int i = 0; i < handed; ++i) client->publish({"q/" + std::to_string(i), std::to_string(i), 0, true});
    EXPECT_EQ(lines.count(LogCategory::Mqtt, "the oldest are dropped"), 1);
    EXPECT_EQ(connections, 1);

    // Back, the broker gets what waited (retained, though one still on its way may reach the newcomer
    // live) and the availability again.
    broker.start();
    ASSERT_TRUE(test::runEventsUntil([&] { return connections == 2; }, 60s));
    std::set<std::string> waited;
    for (int i = 5; i < handed; ++i) waited.insert("q/" + std::to_string(i) + " " + std::to_string(i));
    EXPECT_EQ(broker.newcomerGets("q/#", static_cast<int>(MqttClient::kQueueLimit), "%t %p"), waited);
    EXPECT_EQ(broker.newcomerGets("c/availability", 1), std::set<std::string>{"1 c/availability online"});

    // Ended in order, it says so itself.
    client.reset();
    EXPECT_EQ(broker.newcomerGets("c/availability", 1), std::set<std::string>{"1 c/availability offline"});
}

}  // namespace
}  // namespace rx47
