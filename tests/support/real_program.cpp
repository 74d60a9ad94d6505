// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/real_program.h"

#include <glob.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "storage/settings_row.h"
#include "support/program_folder.h"

extern char** environ;

namespace rx47::test {

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

/// Seconds from now to a local time (negative: in the past).
long long secondsUntil(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm)) - static_cast<long long>(std::time(nullptr));
}

void handOver(const fs::path& folder, uid_t user) {
    std::error_code ec;
    ::lchown(folder.c_str(), user, user);
    for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) ::lchown(entry.path().c_str(), user, user);
}

}  // namespace

// ---- ProgramCopy ----

ProgramCopy::ProgramCopy(bool withSettings) : owned_(true) {
    static std::atomic<int> counter{0};
    path_ =
        fs::temp_directory_path() / ("rx47-program-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
    fill(withSettings);
}

ProgramCopy::ProgramCopy(const fs::path& folder, bool withSettings) : path_(folder) {
    fill(withSettings);
}

void ProgramCopy::fill(bool withSettings) {
    const fs::path build(RX47_PROGRAM_FOLDER);
    fs::copy_file(build / "rx47-monitor", path_ / "rx47-monitor");
    fs::copy_file(build / "RX47.wav", path_ / "RX47.wav");
    if (withSettings) fs::copy_file(build / kSettingsFileName, settingsFile());
    fs::create_directories(path_ / "ports");
}

ProgramCopy::~ProgramCopy() {
    std::error_code ec;
    if (owned_) fs::remove_all(path_, ec);
    fs::remove_all(path_.string() + ".home", ec);
    fs::remove(logFile(), ec);
}

fs::path ProgramCopy::logFile() const {
    return path_.string() + ".log";
}

fs::path ProgramCopy::settingsFile() const {
    return path_ / kSettingsFileName;
}
fs::path ProgramCopy::recordFolder() const {
    return path_ / "record";
}
fs::path ProgramCopy::port(int n) const {
    return path_ / "ports" / ("COM" + std::to_string(n));
}

// ---- libraries ----

std::string fakeTimeLibrary() {
    for (const char* pattern : {"/usr/lib/*/faketime/libfaketime.so.1", "/usr/lib/faketime/libfaketime.so.1",
                                "/usr/local/lib/faketime/libfaketime.so.1"}) {
        glob_t found{};
        const bool any = ::glob(pattern, 0, nullptr, &found) == 0 && found.gl_pathc > 0;
        std::string path = any ? found.gl_pathv[0] : "";
        ::globfree(&found);
        if (any) return path;
    }
    return "";
}

uid_t ordinaryUserId() {
    return kNobody;
}

// ---- RealProgram ----

RealProgram::RealProgram(const ProgramCopy& folder, const LaunchOptions& options) {
    // Everything the child needs is made before the fork: between fork and exec only calls that
    // are safe in a copy of a threaded process are made.
    const std::string program = (folder.path() / "rx47-monitor").string();
    std::vector<std::string> env;
    std::string preload;
    const auto addPreload = [&](const std::string& library) {
        if (!library.empty()) preload += (preload.empty() ? "" : ":") + library;
    };
    if (options.fakeStart) {
        addPreload(fakeTimeLibrary());
        const long long offset = secondsUntil(*options.fakeStart);
        char fakeTime[64];
        std::snprintf(fakeTime, sizeof fakeTime, "%+lld x%d", offset, options.fakeSpeed);
        env.push_back(std::string("FAKETIME=") + fakeTime);
        // The program's timers run on the monotonic clock: only the wall clock is faked.
        env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
        env.push_back("FAKETIME_NO_CACHE=1");
    }
    for (const std::string& library : options.preload) addPreload(library);
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(options.environment.begin(), options.environment.end(),
                                          [&](const std::string& e) { return nameOf(e) == nameOf(entry); });
        if (replaced) continue;
        if (entry.rfind("LD_PRELOAD=", 0) == 0) {
            addPreload(entry.substr(11));
            continue;
        }
        if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("FAKETIME", 0) == 0) continue;
        if (!options.display.empty() && entry.rfind("DISPLAY=", 0) == 0) continue;
        if (options.ordinaryUser && (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_RUNTIME_DIR=", 0) == 0)) continue;
        env.push_back(entry);
    }
    if (!preload.empty()) env.push_back("LD_PRELOAD=" + preload);
    const bool platformGiven = std::any_of(options.environment.begin(), options.environment.end(),
                                           [](const std::string& e) { return e.rfind("QT_QPA_PLATFORM=", 0) == 0; });
    if (platformGiven) {
        // A desktop of the test's own (Wayland, say) given with the environment.
    } else if (options.display.empty()) {
        env.push_back("QT_QPA_PLATFORM=offscreen");
    } else {
        env.push_back("QT_QPA_PLATFORM=xcb");
        env.push_back("DISPLAY=" + options.display);
    }
    for (const std::string& e : options.environment) env.push_back(e);

    const bool dropRights = options.ordinaryUser && ::geteuid() == 0;
    if (options.ordinaryUser) {
        // A home of its own, so that nothing the program keeps there reaches the folder under test.
        const fs::path home = folder.path().string() + ".home";
        fs::create_directories(home);
        fs::permissions(home, fs::perms::owner_all);  // a runtime folder is private to its user
        if (dropRights) {
            handOver(folder.path(), kNobody);
            handOver(home, kNobody);
        }
        env.push_back("HOME=" + home.string());
        env.push_back("XDG_RUNTIME_DIR=" + home.string());
    }

    std::vector<std::string> arguments = options.arguments;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const fs::path errorLog = options.errorLog.empty() ? folder.logFile() : options.errorLog;
    const int errorFd = ::open(errorLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    if (options.fileSizeLimit) limit.rlim_cur = static_cast<rlim_t>(*options.fileSizeLimit);

    pid_ = startChild(program.c_str(), argv.data(), envp.data(), -1, -1, [&] {
        ::setpgid(0, 0);
        if (errorFd >= 0) ::dup2(errorFd, STDERR_FILENO);
        if (options.fileSizeLimit) {
            ::signal(SIGXFSZ, SIG_IGN);  // kept across exec: a write past the limit fails instead
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        return !dropRights || (::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
    });
    if (errorFd >= 0) ::close(errorFd);
}

bool RealProgram::setFileSizeLimit(long bytes) {
    rlimit limit{};
    if (pid_ <= 0 || ::prlimit(pid_, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
    limit.rlim_cur = bytes < 0 ? limit.rlim_max : static_cast<rlim_t>(bytes);
    return ::prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

}  // namespace rx47::test
