// The whole program as a user runs it: the real rx47-monitor in a program folder of its own whose
// port table holds the device simulator, ended the ways a desktop ends programs.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "base/failure.h"
#include "sim/simulator.h"
#include "storage/settings_row.h"
#include "support/program_folder.h"

extern char** environ;

namespace rx47 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(250ms);
    }
    return true;
}

/// A program folder with a copy of the program, the supplied settings and an empty port table.
struct ProgramFolder {
    ProgramFolder() {
        fs::copy_file(fs::path(RX47_PROGRAM_FOLDER) / "rx47-monitor", path() / "rx47-monitor");
        fs::create_directories(path() / "ports");
    }
    const fs::path& path() const { return folder.path(); }

    void set(const std::string& column, SettingValue value) {
        SettingsRow row;
        row.open(path());
        row.write(column, std::move(value));
        row.commit();
    }
    /// A setting as the program left it on disk (empty while the file cannot be read).
    std::string stored(const std::string& column) const {
        try {
            SettingsRow row;
            row.open(path());
            return row.text(column);
        } catch (const Failure&) {
            return "";
        }
    }

    test::TempProgramFolder folder;
};

/// The program running in a folder; ended by a signal, waited for by its own PID.
class RunningProgram {
public:
    explicit RunningProgram(const fs::path& folder) {
        const std::string program = (folder / "rx47-monitor").string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, environ) != 0) pid_ = -1;
    }
    ~RunningProgram() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return pid_ > 0; }
    /// Whether the program ended within the timeout; its exit status in `status`.
    bool waitForExit(std::chrono::milliseconds timeout) {
        return waitFor(
            [&] {
                if (!exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
                return exited_;
            },
            timeout);
    }
    bool endWith(int signal) {
        ::kill(pid_, signal);
        return waitForExit(20s);
    }
    int exitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = 0;
};

rx47sim::Options deviceOn(const fs::path& link) {
    rx47sim::Options options;
    options.link = link;
    options.intervalSeconds = 0.5;
    return options;
}

TEST(Program, FindsTheDeviceOnAnotherPortAndRemembersIt) {
    ProgramFolder folder;
    rx47sim::Simulator device(deviceOn(folder.path() / "ports/COM2"));
    folder.set("COMport", std::string("1"));
    RunningProgram program(folder.path());
    ASSERT_TRUE(program.started());
    // The first per-minute update finds nothing on port 1 and the search moves on to port 2. (When
    // the test starts in minute 00 of an hour the first update waits for minute 01.)
    EXPECT_TRUE(waitFor([&] { return folder.stored("COMport") == "2"; }, 90s));
    EXPECT_TRUE(waitFor(
        [&] {
            const auto lines = device.receivedLines();
            return std::find(lines.begin(), lines.end(), "show") != lines.end();
        },
        10s));
    EXPECT_TRUE(fs::is_directory(folder.path() / "record"));
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(Program, EveryWayOfEndingCountsTheExit) {
    ProgramFolder folder;
    rx47sim::Simulator device(deviceOn(folder.path() / "ports/COM1"));
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const std::string before = folder.stored("running");
        RunningProgram program(folder.path());
        ASSERT_TRUE(program.started());
        std::this_thread::sleep_for(1500ms);
        ASSERT_TRUE(program.endWith(signal)) << signal;
        EXPECT_EQ(program.exitCode(), 0) << signal;
        EXPECT_EQ(std::stoi(folder.stored("running")), std::stoi(before) + 1) << signal;
    }
}

TEST(Program, TheHundredthExitCompactsTheSettings) {
    ProgramFolder folder;
    folder.set("running", std::int64_t{100});
    folder.set("warnLineLevel", 0.75);
    RunningProgram program(folder.path());
    ASSERT_TRUE(program.started());
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(folder.stored("running"), "1");
    EXPECT_EQ(folder.stored("warnLineLevel"), "0.75");
    EXPECT_FALSE(fs::exists(folder.path() / kSettingsTempFileName));
}

TEST(Program, ASecondCopyInTheSameFolderLeavesTheFirstAlone) {
    ProgramFolder folder;
    RunningProgram first(folder.path());
    ASSERT_TRUE(first.started());
    std::this_thread::sleep_for(1500ms);
    RunningProgram second(folder.path());
    ASSERT_TRUE(second.waitForExit(10s));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(first.waitForExit(500ms));  // still running
    ASSERT_TRUE(first.endWith(SIGTERM));
    EXPECT_EQ(folder.stored("running"), "2");  // the second copy counted nothing
}

}  // namespace
}  // namespace rx47
