// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm command through the real QProcess adapter: a program in a folder named to trip any shell,
// given arguments that would trip one too, gets every argument and every variable byte for byte and
// no shell ever runs a word of them; one command at a time, and how each ended in the log.
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "monitor/alarms.h"
#include "platform/qt/qt_command_runner.h"
#include "sim/simulator.h"
#include "support/file_checks.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/real_program.h"
#include "support/simulated_device.h"
#include "support/time_zone.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

/// Stands for a user's alarm command: writes its arguments, then "--", then the alarm's variables,
/// each ended by a NUL byte, to "command.out" beside itself.
constexpr const char* kRecorder = R"(#!/usr/bin/python3
import os, sys
fields = [os.fsencode(a) for a in sys.argv[1:]] + [b"--"]
for name in ("RX47_ALARM_KIND", "RX47_ALARM_VALUE", "RX47_ALARM_LEVEL", "RX47_ALARM_TIME",
             "RX47_ALARM_MESSAGE", "RX47_PROGRAM_FOLDER"):
    fields.append(os.environb.get(name.encode(), b"<unset>"))
here = os.path.dirname(os.fsencode(sys.argv[0]))
with open(os.path.join(here, b"command.tmp"), "wb") as f:
    f.write(b"".join(field + b"\0" for field in fields))
os.rename(os.path.join(here, b"command.tmp"), os.path.join(here, b"command.out"))
)";

struct AlarmHook : ::testing::Test {
    test::TimeZone zone{test::kJapan};
    test::TestMonitor m;
    QtCommandRunner runner;
    void SetUp() override {
        m.connectDevice();
        m.clock.time = {2026, 5, 7, 9, 30, 12};
        m.ctx.commandRunner = &runner;
    }
    void raise() {
        acknowledgeAlarm(m.ctx);
        for (int i = 0; i < 3; ++i) m.read(101);
    }
    bool logged(const std::string& text) {
        return test::runEventsUntil([&] { return m.logLines.count(LogCategory::Hook, text) > 0; }, 30s);
    }
};

TEST_F(AlarmHook, HostileNamesAndArgumentsReachTheCommandUnchangedAndNoShellRunsThem) {
    // Every file a shell would make out of these words.
    const fs::path trap = m.folder.path() / "trap";
    const fs::path station =
        m.folder.path() / "station \"east\" 'one' $(touch pwned0) ; touch pwned1 `touch pwned2`\n\\ *";
    fs::create_directories(station);
    const fs::path program = station / "notify me; $(touch pwned3)";
    std::ofstream(program) << kRecorder;
    fs::permissions(program, fs::perms::owner_all);
    const std::vector<std::string> arguments = {
        "two words",
        "\"double\" 'single'",
        "$(touch " + trap.string() + "4)",
        "`touch " + trap.string() + "5`",
        "; touch " + trap.string() + "6 ;",
        "| touch " + trap.string() + "7 &",
        "line one\nline two",
        "",
        "*",
        "$HOME ${PATH} ~ back\\slash",
        "計数 \t tab",
    };
    m.ctx.programFolder = station;
    m.ctx.reporting.alarmCommand = {program.string()};
    m.ctx.reporting.alarmCommand.insert(m.ctx.reporting.alarmCommand.end(), arguments.begin(), arguments.end());

    raise();
    ASSERT_TRUE(logged("ended: exit status 0")) << m.logLines.lines.back().message;
    const std::string recorded = test::bytesOf(station / "command.out");
    std::string expected;
    for (const std::string& field : arguments) expected += field + '\0';
    for (const std::string& field :
         {std::string("--"), std::string("cpm"), std::string("101"), std::string("100"),
          std::string("2026-05-07T09:30:12+09:00"), std::string(kCpmAlarmText), station.string()})
        expected += field + '\0';
    EXPECT_EQ(recorded, expected);

    for (int i = 0; i <= 7; ++i) {
        const std::string name = "pwned" + std::to_string(i);
        EXPECT_FALSE(fs::exists(trap.string() + std::to_string(i))) << i;
        EXPECT_FALSE(fs::exists(station / name) || fs::exists(m.folder.path() / name) || fs::exists(name)) << name;
    }
}

TEST_F(AlarmHook, OneAtATimeAndHowEachEndedIsLogged) {
    m.ctx.reporting.alarmCommand = {(m.folder.path() / "no such program").string()};
    raise();
    EXPECT_EQ(m.logLines.count(LogCategory::Hook, "cannot start"), 1);

    m.ctx.reporting.alarmCommand = {"/bin/sleep", "1"};
    raise();
    EXPECT_TRUE(runner.running());
    raise();  // while the first still sleeps: it waits its turn
    EXPECT_EQ(m.logLines.count(LogCategory::Hook, "alarm waits its turn"), 1);
    EXPECT_TRUE(logged("works again"));
    EXPECT_TRUE(
        test::runEventsUntil([&] { return m.logLines.count(LogCategory::Hook, "ended: exit status 0") == 2; }, 30s));
    EXPECT_EQ(m.logLines.count(LogCategory::Hook, "/bin/sleep started"), 2);

    m.ctx.reporting.alarmCommand = {"/usr/bin/python3", "-c", "raise SystemExit(3)"};
    raise();
    EXPECT_TRUE(logged("/usr/bin/python3 failed: exit status 3"));
    EXPECT_FALSE(runner.running());
}

/// Whether the process is gone or a zombie that is never run again (one left to a parent that does
/// not reap it, as in a container).
bool ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string fields;
    if (!std::getline(stat, fields)) return true;
    const auto name = fields.rfind(')');
    return name != std::string::npos && name + 2 < fields.size() && fields[name + 2] == 'Z';
}

TEST_F(AlarmHook, WhatTheCommandStartedEndsWithItWhenTheProgramEnds) {
    // A command that starts a long child and waits for it, and one that ignores SIGTERM.
    const fs::path pids = m.folder.path() / "pids";
    const std::string script = "trap '' TERM; sleep 90 & echo $! > '" + pids.string() + ".tmp'; mv '" + pids.string() +
                               ".tmp' '" + pids.string() + "'; wait";
    pid_t child = 0;
    pid_t command = 0;
    {
        QtCommandRunner ending;
        ASSERT_TRUE(ending.start("/bin/sh", {"-c", script}, {}).started);
        ASSERT_TRUE(test::runEventsUntil([&] { return fs::exists(pids); }, 30s));
        std::ifstream(pids) >> child;
        ASSERT_GT(child, 0);
        command = static_cast<pid_t>(::getpgid(child));
        EXPECT_NE(command, ::getpgrp()) << "the command runs in the program's own process group";
    }
    // The kill is on its way when the runner is gone; the child dies a moment later.
    EXPECT_TRUE(test::runEventsUntil([&] { return ended(child); }, 10s)) << "the command's child outlived it";
    EXPECT_TRUE(ended(command));
}

TEST_F(AlarmHook, ACommandPastItsTimeLimitIsEndedWithWhatItStartedAndItsFloodOfOutputIsKeptShort) {
    // A hook caught in a network call that never returns, after writing far more than a log wants.
    const fs::path pids = m.folder.path() / "pids";
    m.ctx.reporting.events.timeout = 2s;
    m.ctx.reporting.alarmCommand = {"/bin/sh", "-c",
                                    "head -c 100000 /dev/zero | tr '\\0' x; echo; echo 'to standard error' >&2; "
                                    "sleep 600 & echo $! > '" +
                                        pids.string() + "'; wait"};
    raise();
    EXPECT_TRUE(logged("ran longer than its time limit of 2 s and was ended"));
    pid_t child = 0;
    std::ifstream(pids) >> child;
    ASSERT_GT(child, 0);
    EXPECT_TRUE(test::runEventsUntil([&] { return ended(child); }, 10s)) << "the command's child outlived it";
    EXPECT_EQ(m.logLines.count(LogCategory::Hook, "wrote: xxxx"), 1);
    EXPECT_EQ(m.logLines.count(LogCategory::Hook, "wrote 95"), 1);  // the rest of the 100001 bytes, counted

    // The next alarm runs it again.
    m.ctx.reporting.alarmCommand = {"/bin/sh", "-c", "echo 'to standard error' >&2"};
    raise();
    EXPECT_TRUE(logged("wrote: to standard error"));
    EXPECT_TRUE(logged("works again"));
}

TEST(EventCommand, TheRealProgramTellsEachEventToTheCommandItsOptionsFileNames) {
    test::ProgramCopy folder;
    rx47sim::Simulator device(test::deviceOn(folder.port(1)));
    const fs::path events = folder.path() / "events.txt";
    const fs::path recorder = folder.path() / "record-event";
    std::ofstream(recorder) << "#!/bin/sh\necho \"$RX47_EVENT $RX47_PORT$RX47_CPM\" >> \"$1\"\n";
    fs::permissions(recorder, fs::perms::owner_all);
    // A program named by a path of its own is found beside the file; an unknown key is left out, and
    // the log says where.
    std::ofstream(folder.path() / "rx47-monitor.conf")
        << "; this counter's options\nevent-command = ./record-event\nevent-command-arg = " << events.string()
        << "\nevent-minutes = true\nevent-timout = 5\n";
    const auto told = [&](const std::string& line) {
        return test::waitFor([&] { return test::bytesOf(events).find(line) != std::string::npos; }, 90s);
    };
    test::LaunchOptions launch;
    launch.fakeStart = LocalDateTime{2026, 5, 7, 9, 29, 50};
    launch.fakeSpeed = 10;
    test::RealProgram program(folder, launch);
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(told("minute ")) << test::bytesOf(folder.logFile());
    EXPECT_NE(test::bytesOf(folder.logFile()).find("rx47-monitor.conf line 5: unknown option \"event-timout\""),
              std::string::npos)
        << test::bytesOf(folder.logFile());
    device.unplug();
    EXPECT_TRUE(told("device-lost COM1")) << test::bytesOf(events);
    device.plugIn();
    EXPECT_TRUE(told("device-found COM1")) << test::bytesOf(events);
    EXPECT_TRUE(program.endWith(SIGTERM));
}

}  // namespace
}  // namespace rx47
