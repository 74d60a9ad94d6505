// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command runner's contract (platform/command_runner.h), held alike by the recording double the
// core's tests run on and by the QProcess runner with real programs. The double plays the system:
// a command "exit N" ends with status N when the rig lets it end.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/qt_command_runner.h"
#include "support/fakes.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

struct Command {
    std::string program;
    std::vector<std::string> arguments;
};

struct RecordingRig {
    static constexpr const char* kName = "Recording";
    test::RecordingCommandRunner runner;
    Command exitingWith(int status) {
        runner.refuse.clear();
        return {"exit", {std::to_string(status)}};
    }
    Command missing() {
        runner.refuse = "No such file or directory";
        return {"/nonexistent/rx47-alarm", {}};
    }
    /// Lets the running command end; `done` tells when the test has seen enough.
    bool runUntil(const std::function<bool()>& done) {
        if (runner.running() && !runner.runs.empty() && runner.runs.back().program == "exit")
            runner.finish({true, false, std::stoi(runner.runs.back().arguments.at(0)), {}});
        return done();
    }
};

struct QtRig {
    static constexpr const char* kName = "QProcess";
    QtCommandRunner runner;
    Command exitingWith(int status) {
        // A moment's sleep first, so that the command still runs when start() has returned.
        return {"/bin/sh", {"-c", "sleep 0.3; exit " + std::to_string(status)}};
    }
    Command missing() { return {"/nonexistent/rx47-alarm", {}}; }
    bool runUntil(const std::function<bool()>& done) { return test::runEventsUntil(done, 30s); }
};

struct RigNames {
    template <class Rig>
    static std::string GetName(int) {
        return Rig::kName;
    }
};

template <class Rig>
struct CommandRunnerContract : ::testing::Test {
    Rig rig;
    CommandRunner& runner = rig.runner;
    std::vector<CommandExit> ends;

    CommandRunnerContract() {
        runner.setFinishedHandler([this](const CommandExit& exit) { ends.push_back(exit); });
    }
    CommandStart start(const Command& c) { return runner.start(c.program, c.arguments, {{"RX47_TEST", "1"}}); }
};

using Rigs = ::testing::Types<RecordingRig, QtRig>;
TYPED_TEST_SUITE(CommandRunnerContract, Rigs, RigNames);

TYPED_TEST(CommandRunnerContract, TheEndIsReportedOnceLaterWithTheExitStatus) {
    const CommandStart started = this->start(this->rig.exitingWith(3));
    ASSERT_TRUE(started.started) << started.error;
    EXPECT_TRUE(this->runner.running());
    EXPECT_TRUE(this->ends.empty()) << "reported inside start()";

    ASSERT_TRUE(this->rig.runUntil([&] { return !this->ends.empty(); }));
    EXPECT_FALSE(this->runner.running());
    ASSERT_EQ(this->ends.size(), 1u);
    EXPECT_TRUE(this->ends[0].started);
    EXPECT_FALSE(this->ends[0].crashed);
    EXPECT_EQ(this->ends[0].exitCode, 3);
}

TYPED_TEST(CommandRunnerContract, OneAtATimeASecondStartIsRefusedAndTheFirstRunsOn) {
    ASSERT_TRUE(this->start(this->rig.exitingWith(0)).started);
    const CommandStart second = this->start(this->rig.exitingWith(5));
    EXPECT_FALSE(second.started);
    EXPECT_FALSE(second.error.empty());
    EXPECT_TRUE(this->runner.running());

    ASSERT_TRUE(this->rig.runUntil([&] { return !this->ends.empty(); }));
    ASSERT_EQ(this->ends.size(), 1u);
    EXPECT_EQ(this->ends[0].exitCode, 0) << "the refused command ran";

    // Once it has ended, the next one starts.
    EXPECT_TRUE(this->start(this->rig.exitingWith(0)).started);
    EXPECT_TRUE(this->rig.runUntil([&] { return this->ends.size() == 2; }));
}

TYPED_TEST(CommandRunnerContract, AProgramThatCannotStartIsRefusedWithTheSystemsWordsAndNeverReported) {
    const CommandStart refused = this->start(this->rig.missing());
    EXPECT_FALSE(refused.started);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_FALSE(this->runner.running());

    // The next command's end is the only one reported.
    ASSERT_TRUE(this->start(this->rig.exitingWith(4)).started);
    ASSERT_TRUE(this->rig.runUntil([&] { return !this->ends.empty(); }));
    ASSERT_EQ(this->ends.size(), 1u);
    EXPECT_EQ(this->ends[0].exitCode, 4);
}

// The adapter's own guard: a handler that fails is logged, and the runner goes on with the next command.
TEST(QtCommandRunnerGuard, AnEndHandlerThatFailsIsLoggedAndTheNextCommandRuns) {
    test::RecordingLogSink lines;
    FailureLog log(&lines);
    QtCommandRunner runner;
    runner.setLog(&log);
    int ends = 0;
    runner.setFinishedHandler([&](const CommandExit&) {
        ++ends;
        throw std::runtime_error("a handler that fails");
    });
    for (int run = 1; run <= 2; ++run) {
        ASSERT_TRUE(runner.start("/bin/sh", {"-c", "exit 0"}, {}).started);
        ASSERT_TRUE(test::runEventsUntil([&] { return ends == run; }, 30s));
    }
    EXPECT_EQ(lines.count(LogCategory::Hook, "a command's end handler failed: a handler that fails"), 1);
}

}  // namespace
}  // namespace rx47
