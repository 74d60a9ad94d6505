// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command runner's contract (platform/command_runner.h) held by the QProcess runner with real
// programs. (The recording double the core's tests run on ends a command as the test tells it.) A
// start that fails only after start() returned needs a system slower to start a program than any here.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_command_runner.h"
#include "support/fakes.h"
#include "support/process.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

struct Command {
    std::string program;
    std::vector<std::string> arguments;
};

struct CommandRunnerContract : ::testing::Test {
    QtCommandRunner runner;
    std::vector<CommandExit> ends;

    CommandRunnerContract() {
        runner.setFinishedHandler([this](const CommandExit& exit) { ends.push_back(exit); });
    }
    CommandStart start(const Command& c) { return runner.start(c.program, c.arguments, {{"RX47_TEST", "1"}}); }
    static Command exitingWith(int status) {
        // A moment's sleep first, so that the command still runs when start() has returned.
        return {"/bin/sh", {"-c", "sleep 0.3; exit " + std::to_string(status)}};
    }
    static Command missing() { return {"/nonexistent/rx47-alarm", {}}; }
    static bool runUntil(const std::function<bool()>& done) { return test::runEventsUntil(done, 30s); }
};

TEST_F(CommandRunnerContract, TheEndIsReportedOnceLaterWithHowItEnded) {
    const std::pair<Command, bool> cases[] = {{exitingWith(3), false},
                                              {{"/bin/sh", {"-c", "sleep 0.3; kill -KILL $$"}}, true}};
    for (const auto& [command, crashes] : cases) {
        SCOPED_TRACE(command.arguments[1]);
        ends.clear();
        const CommandStart started = start(command);
        ASSERT_TRUE(started.started) << started.error;
        EXPECT_TRUE(runner.running());
        EXPECT_TRUE(ends.empty()) << "reported inside start()";

        ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
        EXPECT_FALSE(runner.running());
        ASSERT_EQ(ends.size(), 1u);
        EXPECT_TRUE(ends[0].started);
        EXPECT_FALSE(ends[0].timedOut);
        EXPECT_EQ(ends[0].crashed, crashes);
        if (crashes)
            EXPECT_FALSE(ends[0].error.empty());
        else
            EXPECT_EQ(ends[0].exitCode, 3);
    }
}

TEST_F(CommandRunnerContract, ArgumentsAndEnvironmentGoAsTheyStandAndTheOutputComesBackCut) {
    // Far more than a pipe holds, on the error output first and then the standard one: the command
    // never waits for its reader, and the report keeps the first bytes of both.
    const std::string script = R"(printf '%s|' "$0" "$1" "$RX47_TEST" >&2; head -c 200000 /dev/zero)";
    ASSERT_TRUE(start({"/bin/sh", {"-c", script, "a b;$HOME", "*"}}).started);
    ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
    const std::string echoed = "a b;$HOME|*|1|";
    EXPECT_EQ(ends[0].exitCode, 0);
    EXPECT_FALSE(ends[0].timedOut);
    EXPECT_EQ(ends[0].output.substr(0, echoed.size()), echoed);
    EXPECT_EQ(ends[0].output.size(), CommandRunner::kOutputKept);
    EXPECT_EQ(ends[0].outputLeftOut, echoed.size() + 200000 - CommandRunner::kOutputKept);
}

TEST_F(CommandRunnerContract, ACommandPastTheTimeLimitIsEndedWithWhatItStarted) {
    runner.setTimeLimit(300ms);
    ASSERT_TRUE(start({"/bin/sh", {"-c", "sleep 60 & echo $!; wait"}}).started);
    ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
    EXPECT_TRUE(ends[0].timedOut);
    // The sleep it started is gone too (or a zombie nobody reaps).
    const std::string stat = "/proc/" + std::to_string(std::stoi(ends[0].output)) + "/stat";
    EXPECT_TRUE(test::waitFor(
        [&] {
            std::ifstream in(stat);
            std::string line;
            return !std::getline(in, line) || line.find(") Z ") != std::string::npos;
        },
        10s))
        << ends[0].output;
}

TEST_F(CommandRunnerContract, OneAtATimeASecondStartIsRefusedAndTheFirstRunsOn) {
    ASSERT_TRUE(start(exitingWith(0)).started);
    const CommandStart second = start(exitingWith(5));
    EXPECT_FALSE(second.started);
    EXPECT_FALSE(second.error.empty());
    EXPECT_TRUE(runner.running());

    ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].exitCode, 0) << "the refused command ran";

    // Once it has ended, the next one starts.
    EXPECT_TRUE(start(exitingWith(0)).started);
    EXPECT_TRUE(runUntil([&] { return ends.size() == 2; }));
}

TEST_F(CommandRunnerContract, AProgramThatCannotStartIsRefusedWithTheSystemsWordsAndNeverReported) {
    const CommandStart refused = start(missing());
    EXPECT_FALSE(refused.started);
    EXPECT_FALSE(refused.error.empty());
    EXPECT_FALSE(runner.running());

    // The next command's end is the only one reported.
    ASSERT_TRUE(start(exitingWith(4)).started);
    ASSERT_TRUE(runUntil([&] { return !ends.empty(); }));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].exitCode, 4);
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
