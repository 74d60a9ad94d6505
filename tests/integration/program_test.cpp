// The whole program as a user runs it: the real rx47-monitor in a program folder of its own whose
// port table holds the device simulator, ended the ways a desktop ends programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "base/failure.h"
#include "sim/simulator.h"
#include "storage/settings_row.h"
#include "support/program_folder.h"
#include "support/sound_server.h"

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
    /// The start-up has run to its end (its last step makes the record folders): the settings are
    /// open, the termination signals are handled and the window is up.
    bool startedUp() const {
        return waitFor([&] { return fs::is_directory(path() / "record"); }, 30s);
    }

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
    /// `environment`: lines NAME=value added to the test's own; `log`: where its standard error goes;
    /// `user`: a user id to run as (the test runs as root), -1 for the test's own.
    explicit RunningProgram(const fs::path& folder, const std::vector<std::string>& environment = {},
                            const fs::path& log = {}, uid_t user = static_cast<uid_t>(-1)) {
        const std::string program = (folder / "rx47-monitor").string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        std::vector<std::string> lines(environment);
        for (char** e = environ; *e; ++e) lines.emplace_back(*e);
        std::vector<char*> env;
        for (std::string& line : lines) env.push_back(line.data());
        env.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!log.empty())
            posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (user == static_cast<uid_t>(-1)) {
            if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, env.data()) != 0) pid_ = -1;
        } else {
            pid_ = ::fork();
            if (pid_ == 0) {
                const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd >= 0) ::dup2(fd, 2);
                if (::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(126);
                ::execve(program.c_str(), argv, env.data());
                ::_exit(127);
            }
        }
        posix_spawn_file_actions_destroy(&actions);
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
    pid_t pid() const { return pid_; }
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
    // The sound libraries are loaded with the first alarm sound, not at start.
    std::ifstream maps("/proc/" + std::to_string(program.pid()) + "/maps");
    const std::string mapped{std::istreambuf_iterator<char>(maps), {}};
    EXPECT_NE(mapped.find("libQt6Core"), std::string::npos);
    EXPECT_EQ(mapped.find("libQt6Multimedia"), std::string::npos);
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST(Program, EveryWayOfEndingCountsTheExit) {
    ProgramFolder folder;
    rx47sim::Simulator device(deviceOn(folder.path() / "ports/COM1"));
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const std::string before = folder.stored("running");
        fs::remove_all(folder.path() / "record");
        RunningProgram program(folder.path());
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(folder.startedUp());
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
    ASSERT_TRUE(folder.startedUp());
    ASSERT_TRUE(program.endWith(SIGTERM));
    EXPECT_EQ(folder.stored("running"), "1");
    EXPECT_EQ(folder.stored("warnLineLevel"), "0.75");
    EXPECT_FALSE(fs::exists(folder.path() / kSettingsTempFileName));
}

TEST(Program, ASecondCopyInTheSameFolderLeavesTheFirstAlone) {
    ProgramFolder folder;
    RunningProgram first(folder.path());
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(folder.startedUp());
    RunningProgram second(folder.path());
    ASSERT_TRUE(second.waitForExit(10s));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(first.waitForExit(500ms));  // still running
    ASSERT_TRUE(first.endWith(SIGTERM));
    EXPECT_EQ(folder.stored("running"), "2");  // the second copy counted nothing
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

std::string textOf(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Program, APortTheUserMayNotOpenIsToldOfOnceInTheLog) {
    ProgramFolder folder;
    rx47sim::Simulator device(deviceOn(folder.path() / "ports/COM1"));
    folder.set("COMport", std::string("1"));
    const fs::path log = folder.path() / "stderr.log";
    // The counter's terminal belongs to another user: as root, the program runs as nobody; else
    // the terminal is closed to everyone.
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (root) {
        for (const auto& entry : fs::recursive_directory_iterator(folder.path()))
            if (!fs::is_symlink(entry.symlink_status())) ::chown(entry.path().c_str(), nobody, nobody);
        ::chown(folder.path().c_str(), nobody, nobody);
    } else {
        ::chmod(device.ptyPath().c_str(), 0);
    }
    RunningProgram program(folder.path(), {"HOME=" + folder.path().string()}, log,
                           root ? nobody : static_cast<uid_t>(-1));
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(waitFor([&] { return textOf(log).find("no counter answers") != std::string::npos; }, 60s))
        << textOf(log);
    const std::string text = textOf(log);
    std::size_t refusals = 0;
    for (std::size_t at = text.find("permission denied"); at != std::string::npos;
         at = text.find("permission denied", at + 1))
        ++refusals;
    EXPECT_EQ(refusals, 1u) << text;
    EXPECT_NE(text.find("cannot open COM1 (" + device.ptyPath() + "): permission denied"), std::string::npos) << text;
    EXPECT_TRUE(program.endWith(SIGTERM));
}

TEST(Program, EndingItWhileTheAlarmSoundPlaysDoesNotWaitForTheSound) {
    test::SoundServer sound;
    if (!sound.running()) GTEST_SKIP() << "no PulseAudio server could be started";
    ProgramFolder folder;
    writeLongSound(folder.path() / "RX47.wav", 90);
    rx47sim::Options options = deviceOn(folder.path() / "ports/COM1");
    options.meanCpm = 400;  // far above the device's alarm level of 100: the third reading raises it
    options.intervalSeconds = 0.3;
    rx47sim::Simulator device(options);
    folder.set("COMport", std::string("1"));
    const fs::path log = folder.path() / "stderr.log";
    RunningProgram program(folder.path(), {"PULSE_SERVER=" + sound.address()}, log);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(waitFor([&] { return textOf(log).find("alarm raised") != std::string::npos; }, 60s)) << textOf(log);
    std::this_thread::sleep_for(1s);  // into the sound
    EXPECT_EQ(textOf(log).find("cannot play"), std::string::npos) << textOf(log);

    // The shutdown ends the wait: the program is gone long before the sound would end.
    ::kill(program.pid(), SIGTERM);
    EXPECT_TRUE(program.waitForExit(30s));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(folder.stored("running"), "2");
}

}  // namespace
}  // namespace rx47
