// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The whole program as a user runs it: the real rx47-monitor in a program folder of its own whose
// port table holds the device simulator, ended the ways a desktop ends programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <memory>
#include <optional>
#include <vector>

#include "base/failure.h"
#include "sim/simulator.h"
#include "storage/program_folder.h"
#include "storage/settings_row.h"
#include "support/file_checks.h"
#include "support/process.h"
#include "support/program_folder.h"
#include "support/real_program.h"
#include "support/simulated_device.h"
#include "support/sound_server.h"

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using test::LaunchOptions;
using test::ProgramCopy;
using test::RealProgram;
using test::waitFor;

/// The start-up has run to its end (its last step makes the record folders): the settings are open,
/// the termination signals are handled and the window is up.
bool startedUp(const ProgramCopy& folder) {
    return waitFor([&] { return fs::is_directory(folder.recordFolder()); }, 30s);
}

void set(const ProgramCopy& folder, const std::string& column, SettingValue value) {
    test::StoredSettings row(folder.path());
    row.write(column, std::move(value));
    row.commit();
}

/// A setting as the program left it on disk (empty while the file cannot be read).
std::string stored(const ProgramCopy& folder, const std::string& column) {
    try {
        return test::StoredSettings(folder.path()).text(column);
    } catch (const Failure&) {
        return "";
    }
}

TEST(Program, FindsTheDeviceOnAnotherPortAndRemembersIt) {
    ProgramCopy folder;
    rx47sim::Simulator device(test::deviceOn(folder.port(2)));
    set(folder, "COMport", std::string("1"));
    // Under a fake clock ten seconds before a minute, the first per-minute update comes at once; on
    // the real one, in minute 00 of an hour it waits for minute 01.
    LaunchOptions launch;
    if (!test::fakeTimeLibrary().empty()) launch.fakeStart = LocalDateTime{2026, 5, 7, 9, 29, 50};
    RealProgram program(folder, launch);
    ASSERT_TRUE(program.started());
    // The first per-minute update finds nothing on port 1 and the search moves on to port 2.
    EXPECT_TRUE(waitFor([&] { return stored(folder, "COMport") == "2"; }, 90s));
    EXPECT_TRUE(waitFor([&] { return test::timesReceived(device, "show") > 0; }, 10s));
    EXPECT_TRUE(fs::is_directory(folder.recordFolder()));
    // The sound libraries are loaded with the first alarm sound, not at start.
    const std::string mapped = test::bytesOf("/proc/" + std::to_string(program.pid()) + "/maps");
    EXPECT_NE(mapped.find("libQt6Core"), std::string::npos);
    EXPECT_EQ(mapped.find("libQt6Multimedia"), std::string::npos);
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(Program, EveryWayOfEndingCountsTheExitTheHundredthCompactsAndASecondCopyLeavesTheFirstAlone) {
    ProgramCopy folder;
    rx47sim::Simulator device(test::deviceOn(folder.port(1)));
    // The hundredth exit compacts the settings. What a compaction and a seeding cut off left behind
    // is gone once the program has started.
    set(folder, "running", std::int64_t{100});
    set(folder, "warnLineLevel", 0.75);
    const fs::path seeded = folder.path() / ".RX47.dat.Ab12Cd";
    std::ofstream(seeded) << "half a copy";
    std::ofstream(folder.path() / kSettingsTempFileName) << "half a compaction";
    const struct {
        int signal;
        bool secondCopy;
        const char* counted;
    } endings[] = {{SIGTERM, false, "1"}, {SIGTERM, true, "2"}, {SIGINT, false, "3"}, {SIGHUP, false, "4"}};
    for (const auto& e : endings) {
        SCOPED_TRACE(e.counted);
        fs::remove_all(folder.recordFolder());
        RealProgram program(folder);
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(startedUp(folder));
        EXPECT_FALSE(fs::exists(seeded));
        EXPECT_FALSE(fs::exists(folder.path() / kSettingsTempFileName));
        if (e.secondCopy) {
            RealProgram second(folder);
            ASSERT_TRUE(second.waitForExit(20s));
            EXPECT_EQ(second.exitCode(), 0);
            // The first copy answered that it brought its window forward (the offscreen desktop lets
            // it), and runs on; the second counted nothing.
            EXPECT_NE(test::bytesOf(folder.logFile()).find("; brought its window forward"), std::string::npos)
                << test::bytesOf(folder.logFile());
            EXPECT_TRUE(program.running());
        }
        ASSERT_TRUE(program.endWith(e.signal));
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_EQ(stored(folder, "running"), e.counted);
    }
    EXPECT_EQ(stored(folder, "warnLineLevel"), "0.75");
    EXPECT_FALSE(fs::exists(folder.path() / kSettingsTempFileName));
}

/// The lines of a system-call trace (strace -f -y) in order.
std::vector<std::string> linesOf(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

/// Whether a trace line syncs the file or folder at `path` (its descriptor shown with its path).
bool syncs(const std::string& line, const fs::path& path) {
    return (line.find(" fsync(") != std::string::npos || line.find(" fdatasync(") != std::string::npos) &&
           line.find("<" + path.string() + ">") != std::string::npos;
}

/// The first line at or after `from` for which `match` holds, or the end.
std::size_t findLine(const std::vector<std::string>& lines, std::size_t from,
                     const std::function<bool(const std::string&)>& match) {
    while (from < lines.size() && !match(lines[from])) ++from;
    return from;
}

TEST(Program, ASettingsCommitAndANewDailyFileAreSyncedWithTheirNames) {
    if (test::fakeTimeLibrary().empty()) GTEST_SKIP() << "no libfaketime (the faketime package)";
    ProgramCopy folder;
    rx47sim::Simulator device(test::deviceOn(folder.port(1)));
    const fs::path trace = folder.path().string() + ".trace";
    // Every sync and removal of a file, with the path of each descriptor; minutes every 6 s.
    test::Process program(
        {"/usr/bin/strace", "-f", "-qq", "-y", "--seccomp-bpf", "-e", "trace=fsync,fdatasync,unlink,unlinkat", "-o",
         trace.string(), "-E", "LD_PRELOAD=" + test::fakeTimeLibrary(), "-E", "FAKETIME=+0 x10", "-E",
         "FAKETIME_DONT_FAKE_MONOTONIC=1", "-E", "FAKETIME_NO_CACHE=1", (folder.path() / "rx47-monitor").string()},
        {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_TRUE(program.started());
    fs::path daily;
    ASSERT_TRUE(waitFor(
        [&] {
            std::error_code ec;
            for (const auto& entry : fs::recursive_directory_iterator(folder.recordFolder(), ec))
                if (entry.path().parent_path() != folder.recordFolder() && entry.path().extension() == ".csv" &&
                    fs::file_size(entry.path(), ec) > 0)
                    daily = entry.path();
            return !daily.empty();
        },
        60s))
        << program.output();
    // The exit is counted in one more commit.
    std::string children;
    std::ifstream(fs::path("/proc") / std::to_string(program.pid()) / "task" / std::to_string(program.pid()) /
                  "children") >>
        children;
    ASSERT_FALSE(children.empty());
    ::kill(std::stoi(children), SIGTERM);
    ASSERT_TRUE(program.waitForExit(30s));
    const std::vector<std::string> lines = linesOf(trace);
    fs::remove(trace);

    // Each commit ends by removing the journal; the folder is synced after it, or a power cut brings
    // the journal back and the commit is undone at the next start.
    const std::string journal = folder.settingsFile().string() + "-journal";
    const auto namesJournal = [&](const std::string& line) { return line.find(journal) != std::string::npos; };
    const auto removesJournal = [&](const std::string& line) {
        return line.find("unlink") != std::string::npos && namesJournal(line);
    };
    int commits = 0;
    for (std::size_t i = findLine(lines, 0, removesJournal); i < lines.size();
         i = findLine(lines, i + 1, removesJournal), ++commits) {
        // Synced before the next commit begins with its journal.
        const std::size_t synced =
            findLine(lines, i + 1, [&](const std::string& l) { return syncs(l, folder.path()); });
        EXPECT_LT(synced, findLine(lines, i + 1, namesJournal)) << lines[i];
    }
    EXPECT_GE(commits, 1);  // the exit's at least

    // The daily file's first line: the file synced, then its name in the month folder and the month
    // folder's name in the record folder.
    const std::size_t line = findLine(lines, 0, [&](const std::string& l) { return syncs(l, daily); });
    const std::size_t month =
        findLine(lines, line, [&](const std::string& l) { return syncs(l, daily.parent_path()); });
    EXPECT_LT(line, lines.size());
    EXPECT_LT(month, lines.size());
    EXPECT_LT(findLine(lines, month, [&](const std::string& l) { return syncs(l, folder.recordFolder()); }),
              lines.size());
}

/// A wave file of silence that plays for `seconds`.
void writeLongSound(const fs::path& file, int seconds) {
    const std::uint32_t rate = 8000, bytes = rate * 2 * static_cast<std::uint32_t>(seconds);
    std::ofstream out(file, std::ios::binary);
    const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4), u32(36 + bytes), out.write("WAVEfmt ", 8), u32(16);
    u16(1), u16(1), u32(rate), u32(rate * 2), u16(2), u16(16);
    out.write("data", 4), u32(bytes);
    const std::vector<char> silence(bytes, 0);
    out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
}

TEST(Program, APortTheUserMayNotOpenOrThatAnotherProgramHoldsIsToldOfInTheLog) {
    // Two counters out of reach of the program, which runs as an ordinary user (nobody, as root). One
    // terminal belongs to another user, root:root with mode 0600 (else it is closed to everyone).
    // The other (as root only) the program may use, but root's live process holds its lock file in
    // the lock folder every user may write to, which nobody cannot take away.
    const bool root = ::geteuid() == 0;
    ProgramCopy closedFolder, heldFolder;
    rx47sim::Simulator closed(test::deviceOn(closedFolder.port(1))), held(test::deviceOn(heldFolder.port(1)));
    set(closedFolder, "COMport", std::string("1"));
    set(heldFolder, "COMport", std::string("1"));
    if (root) {
        ASSERT_EQ(::chown(closed.ptyPath().c_str(), 0, 0), 0);
        ::chmod(closed.ptyPath().c_str(), 0600);
    } else {
        ::chmod(closed.ptyPath().c_str(), 0);
    }
    ::chmod(held.ptyPath().c_str(), 0666);
    std::string name = held.ptyPath().substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path lock = fs::path("/run/lock") / ("LCK.." + name);
    fs::remove(lock);  // left by a program that held an earlier terminal of that number and was killed
    if (root) std::ofstream(lock) << std::setw(10) << ::getpid() << "\n";
    struct RemoveAtEnd {
        fs::path file;
        ~RemoveAtEnd() { fs::remove(file); }
    } removeAtEnd{lock};
    LaunchOptions launch;
    launch.ordinaryUser = true;
    RealProgram closedProgram(closedFolder, launch);
    std::optional<RealProgram> heldProgram;
    if (root) heldProgram.emplace(heldFolder, launch);

    const fs::path log = closedFolder.logFile();
    ASSERT_TRUE(closedProgram.started());
    EXPECT_TRUE(waitFor([&] { return test::bytesOf(log).find("no counter answers") != std::string::npos; }, 60s))
        << test::bytesOf(log);
    const std::string text = test::bytesOf(log);
    std::size_t refusals = 0;
    for (std::size_t at = text.find("permission denied"); at != std::string::npos;
         at = text.find("permission denied", at + 1))
        ++refusals;
    EXPECT_EQ(refusals, 1u) << text;
    EXPECT_NE(text.find("cannot open COM1 (" + closed.ptyPath() + "): permission denied"), std::string::npos) << text;
    // No group may open it, and the superuser's group is no advice: who must grant access is named.
    EXPECT_EQ(text.find("adduser"), std::string::npos) << text;
    EXPECT_NE(text.find("the administrator must grant access"), std::string::npos) << text;
    EXPECT_EQ(text.find("(root:root 0600)") != std::string::npos, root) << text;
    EXPECT_TRUE(closedProgram.endWith(SIGTERM));
    if (!root) return;

    const fs::path heldLog = heldFolder.logFile();
    ASSERT_TRUE(heldProgram->started());
    const std::string expected = "cannot open COM1 (" + held.ptyPath() +
                                 "): another program holds it through the lock file " + lock.string() + " (process " +
                                 std::to_string(::getpid());
    EXPECT_TRUE(waitFor([&] { return test::bytesOf(heldLog).find(expected) != std::string::npos; }, 60s))
        << test::bytesOf(heldLog);
    EXPECT_NE(test::bytesOf(heldLog).find(" of user root)"), std::string::npos) << test::bytesOf(heldLog);
    EXPECT_TRUE(fs::exists(lock));  // the lock is honoured: still there, still root's
    EXPECT_TRUE(heldProgram->endWith(SIGTERM));
}

/// A program folder made for a case beside the program's copy, with an empty port table (so that no
/// real device is ever tried), removed at the end.
struct NamedFolder {
    fs::path path;
    NamedFolder(const ProgramCopy& copy, const std::string& name, const std::string& inside = {})
        : path(fs::path(copy.path().string() + "." + name)) {
        fs::create_directories(path / inside / "ports");
    }
    ~NamedFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

TEST(Program, AProgramFolderAnotherUserMadeOrCanWriteIsRefusedSayingWhichAndWhy) {
    ProgramCopy copy;
    const bool root = ::geteuid() == 0;
    struct Case {
        std::string name;
        fs::path folder;   // the program folder named
        std::string said;  // what the refusal says ("" when it starts)
        std::unique_ptr<RealProgram> program = {};
    };
    std::vector<Case> cases;
    std::vector<std::unique_ptr<NamedFolder>> folders;
    const auto folder = [&](const std::string& name, const std::string& inside = {}) -> const fs::path& {
        folders.push_back(std::make_unique<NamedFolder>(copy, name, inside));
        return folders.back()->path;
    };

    // Writable by everyone: others could put links in it, sticky bit or not.
    const fs::path open = folder("open");
    ::chmod(open.c_str(), 0777);
    cases.push_back({"open", open, open.string() + " can be written by every user (mode 0777)"});
    const fs::path sticky = folder("sticky", "mine");
    ::chmod(sticky.c_str(), 01777);
    cases.push_back({"sticky", sticky, sticky.string() + " can be written by every user (mode 1777)"});
    // A folder of one's own inside a sticky one (as in /tmp) is the user's alone.
    cases.push_back({"mine in sticky", sticky / "mine", ""});
    if (root) {
        // Another user's folder, and a month folder another user linked into the user's records.
        const fs::path theirs = folder("theirs", "mine");
        ::chown(theirs.c_str(), test::ordinaryUserId(), test::ordinaryUserId());
        cases.push_back({"theirs", theirs / "mine", theirs.string() + " belongs to the user nobody"});
        const fs::path planted = folder("planted");
        const fs::path victim = folder("victim");
        fs::create_directories(planted / "record");
        fs::create_directory_symlink(victim, planted / "record" / "2026_12");
        ::lchown((planted / "record" / "2026_12").c_str(), test::ordinaryUserId(), test::ordinaryUserId());
        cases.push_back({"planted", planted,
                         (planted / "record" / "2026_12").string() + " is a link that the user nobody put there"});
        // Options another user wrote would name programs of theirs for the monitor to run.
        const fs::path optioned = folder("optioned");
        const fs::path options = optioned / kOptionsFileName;
        std::ofstream(options) << "event-command = /bin/true\n";
        ::chown(options.c_str(), test::ordinaryUserId(), test::ordinaryUserId());
        cases.push_back({"options", optioned, options.string() + " belongs to the user nobody"});
        // Writable by the group: allowed when the group is the user's alone (root's own group, as a
        // user's private group under a umask of 002), refused when it is not (users).
        const fs::path own = folder("own group");
        const fs::path shared = folder("shared");
        for (const auto& [path, group] : {std::pair{own, gid_t{0}}, std::pair{shared, gid_t{100}}}) {
            ::chown(path.c_str(), 0, group);
            ::chmod(path.c_str(), 0775);
        }
        cases.push_back({"own group", own, ""});
        cases.push_back(
            {"shared", shared, shared.string() + " can be written by the group users, which is not yours alone"});
    }
    for (Case& c : cases) {
        LaunchOptions launch;
        launch.arguments = {"--folder", c.folder.string()};
        launch.errorLog = copy.path().string() + "." + c.name + ".log";
        c.program = std::make_unique<RealProgram>(copy, launch);
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path log = copy.path().string() + "." + c.name + ".log";
        if (c.said.empty()) {
            EXPECT_TRUE(waitFor([&] { return fs::is_directory(c.folder / "record"); }, 30s)) << test::bytesOf(log);
            EXPECT_TRUE(c.program->endWith(SIGTERM));
            EXPECT_EQ(c.program->exitCode(), 0);
        } else {
            ASSERT_TRUE(c.program->waitForExit(30s));
            EXPECT_EQ(c.program->exitCode(), 1);
            const std::string text = test::bytesOf(log);
            EXPECT_NE(text.find("the program folder " + c.folder.string() + " is not used: " + c.said),
                      std::string::npos)
                << text;
            EXPECT_NE(text.find("--folder"), std::string::npos) << text;  // what to do
            EXPECT_FALSE(fs::exists(c.folder / kSettingsFileName));       // nothing was put there
        }
        fs::remove(log);
    }
}

TEST(Program, EndingItWhileTheAlarmSoundPlaysDoesNotWaitForTheSound) {
    test::SoundServer sound;
    if (!sound.running()) GTEST_SKIP() << "no PulseAudio server could be started";
    ProgramCopy folder;
    writeLongSound(folder.path() / "RX47.wav", 90);
    rx47sim::Options options = test::deviceOn(folder.port(1));
    options.meanCpm = 400;  // far above the device's alarm level of 100: the third reading raises it
    options.intervalSeconds = 0.3;
    rx47sim::Simulator device(options);
    set(folder, "COMport", std::string("1"));
    LaunchOptions launch;
    launch.environment = {"PULSE_SERVER=" + sound.address()};
    RealProgram program(folder, launch);
    const fs::path log = folder.logFile();
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor([&] { return test::bytesOf(log).find("alarm raised") != std::string::npos; }, 60s))
        << test::bytesOf(log);
    // Into the sound: it reaches the sound server.
    ASSERT_TRUE(waitFor([&] { return sound.streams() > 0; }, 30s)) << test::bytesOf(log);
    EXPECT_EQ(test::bytesOf(log).find("cannot play"), std::string::npos) << test::bytesOf(log);

    // The shutdown ends the wait: the program is gone long before the sound would end.
    ::kill(program.pid(), SIGTERM);
    EXPECT_TRUE(program.waitForExit(30s));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(stored(folder, "running"), "2");
}

}  // namespace
}  // namespace rx47
