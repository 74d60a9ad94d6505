// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The kill loop: the real program against the device simulator, killed with SIGKILL round after
// round, at random moments and inside chosen calls (a settings commit, the compaction of the 100th
// exit, a record append). The program runs under a fake clock ten times faster than the real one,
// starting each round on a new day, so that its minutes (and new record files) come every few
// seconds; its timers keep real time. After every round the settings file must open with its key, pass the
// integrity check and hold its one row with every setting as expected, and every record file must
// be whole. The program folder is kept from round to round, so each start meets what the last kill
// left behind (a hot journal, a stale temporary file, a lock).
//
//   crash_loop [--rounds N] [--seconds S] [--seed N] [--verbose]
//
// Prints its figures; exits 1 when a round failed.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "sim/simulator.h"
#include "storage/records.h"
#include "storage/settings_row.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/real_program.h"
#include "support/simulated_device.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using rx47::test::LaunchOptions;
using rx47::test::ProgramCopy;
using rx47::test::RealProgram;
using SteadyClock = std::chrono::steady_clock;

enum class Kind { Random, Commit, Compaction, Record };
constexpr Kind kKinds[] = {Kind::Random, Kind::Commit, Kind::Compaction, Kind::Record};

const char* nameOf(Kind kind) {
    constexpr const char* kNames[] = {"random moment", "settings commit", "compaction", "record append"};
    return kNames[static_cast<int>(kind)];
}

/// Where a kind's kill points lie, and how many calls a round offers there (measured on this program
/// with RX47_KILL_AT=0: a start with its first status report and an ending by SIGTERM gives 15
/// calls on the settings file, a compacting exit 32, a record minute 6 to 12).
struct KillPlan {
    std::string files;
    std::string calls;
    int points = 0;
};

KillPlan planOf(Kind kind, const std::string& folderName) {
    switch (kind) {
        case Kind::Commit:
            return {"RX47.dat:RX47.dat-journal", "open,write,pwrite,fsync,fdatasync,ftruncate,unlink", 16};
        case Kind::Compaction:
            // The temporary copy, its journal, the rename over RX47.dat and the sync of the folder.
            return {"RX47_tmp.dat:RX47_tmp.dat-journal:" + folderName,
                    "open,write,pwrite,fsync,fdatasync,ftruncate,unlink,rename", 34};
        case Kind::Record:
            return {"*.csv", "open,write,fsync", 12};
        default:
            return {};
    }
}

struct Options {
    int rounds = 200;
    int seconds = 3600;
    unsigned seed = std::random_device{}();
    bool verbose = false;
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> long {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "crash_loop: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return std::atol(argv[++i]);
        };
        if (arg == "--rounds")
            o.rounds = static_cast<int>(value());
        else if (arg == "--seconds")
            o.seconds = static_cast<int>(value());
        else if (arg == "--seed")
            o.seed = static_cast<unsigned>(value());
        else if (arg == "--verbose")
            o.verbose = true;
        else {
            std::fprintf(stderr, "usage: crash_loop [--rounds N] [--seconds S] [--seed N] [--verbose]\n");
            std::exit(2);
        }
    }
    return o;
}

/// The fake local time a round starts at: a day on from the last, 75 s before midnight or 15 s before
/// half past noon, so that every round's records start a new daily file (and some cross midnight,
/// and every thirtieth or so a month).
rx47::LocalDateTime roundStart(int round) {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 4;
    tm.tm_mday = 31 + round;
    tm.tm_hour = round % 2 ? 12 : 23;
    tm.tm_min = round % 2 ? 29 : 58;
    tm.tm_sec = 45;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

/// Whether a kill hit the compaction itself rather than the commit before it (SQLite syncs the
/// folder with fdatasync in its commits; the compaction syncs it with fsync).
bool inCompaction(const std::string& hit, const fs::path& folder) {
    const auto first = hit.find(' ');
    const auto last = hit.rfind(' ');
    if (first == std::string::npos || last <= first) return false;
    const std::string call = hit.substr(0, first);
    const fs::path file = hit.substr(first + 1, last - first - 1);
    if (call == "rename" || file.filename().string().rfind(rx47::kSettingsTempFileName, 0) == 0) return true;
    return call == "fsync" && file == folder;
}

std::int64_t runningOf(const std::map<std::string, rx47::SettingValue>& row) {
    const auto it = row.find("running");
    if (it == row.end()) return -1;
    if (const auto* n = std::get_if<std::int64_t>(&it->second)) return *n;
    if (const auto* d = std::get_if<double>(&it->second)) return static_cast<std::int64_t>(*d);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    if (rx47::test::fakeTimeLibrary().empty()) {
        std::fprintf(stderr, "crash_loop: libfaketime is not installed (Debian package faketime)\n");
        return 2;
    }
    std::mt19937 random(options.seed);
    const auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };

    ProgramCopy folder;
    const fs::path work = folder.path().string() + ".work";
    fs::create_directories(work);
    rx47sim::Options deviceOptions = rx47::test::deviceOn(folder.port(1));
    deviceOptions.seed = options.seed;
    rx47sim::Simulator device(deviceOptions);

    std::map<std::string, int> roundsOf, killsOf, endedFirst, callsHit;
    int failures = 0, rounds = 0, programKills = 0, upBeforeKill = 0;
    std::int64_t running = runningOf(rx47::test::suppliedSettings());
    int lastDataLines = 0, lastFiles = 0, emptyFiles = 0;
    const auto start = SteadyClock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(SteadyClock::now() - start).count(); };

    for (int round = 0; round < options.rounds; ++round) {
        if (elapsed() > options.seconds) break;
        const Kind kind = kKinds[round % 4];
        const KillPlan plan = planOf(kind, folder.path().filename().string());
        std::vector<std::string> problems;

        if (kind == Kind::Compaction) {
            // The exit that finds the counter at 100 compacts.
            rx47::test::StoredSettings row(folder.path());
            row.write("running", std::int64_t{100});
            row.commit();
            running = 100;
        }

        if (kind == Kind::Record && round % 20 == 3) {
            // The user has put the master file away: the program starts a new one.
            fs::remove(folder.recordFolder() / rx47::kMasterRecordFile);
        }

        const fs::path killLog = work / "kill.log";
        fs::remove(killLog);
        LaunchOptions launch;
        launch.fakeStart = roundStart(round);
        launch.fakeSpeed = 10;
        launch.errorLog = work / "program.log";
        if (kind != Kind::Random) {
            launch.preload.push_back(RX47_FILE_HOOKS_LIBRARY);
            launch.environment = {"RX47_KILL_FILES=" + plan.files, "RX47_KILL_CALLS=" + plan.calls,
                                  "RX47_KILL_AT=" + std::to_string(uniform(1, plan.points)),
                                  std::string("RX47_KILL_WHEN=") + (uniform(0, 1) ? "after" : "before"),
                                  "RX47_KILL_LOG=" + killLog.string()};
        }

        const int showsBefore = rx47::test::timesReceived(device, "show");
        const auto roundStarted = SteadyClock::now();
        RealProgram program(folder, launch);
        const auto up = [&] { return rx47::test::timesReceived(device, "show") > showsBefore; };
        bool cameUp = false;
        bool killedByUs = false;
        if (kind == Kind::Random) {
            // Anywhere from the start-up through the first status report to the first records.
            const auto moment = std::chrono::milliseconds(uniform(0, 8000));
            program.waitForExit(moment);
            cameUp = up();
            killedByUs = program.running();
            program.endWith(SIGKILL);
        } else {
            // Up when its start-up has asked the device for a status report; then it runs a while
            // (the first report is committed, record minutes pass) and is asked to end.
            cameUp = rx47::test::waitFor(up, 20s);
            const auto runFor = kind == Kind::Record ? std::chrono::milliseconds(uniform(6000, 10000))
                                                     : std::chrono::milliseconds(uniform(500, 2500));
            program.waitForExit(runFor);
            if (program.running()) program.endWith(SIGTERM, 20s);
            if (program.running()) {
                problems.push_back("did not end within 20 s of SIGTERM");
                program.endWith(SIGKILL);
            }
        }
        const double lasted = std::chrono::duration<double>(SteadyClock::now() - roundStarted).count();

        // How the round ended.
        std::string hit = rx47::test::bytesOf(killLog);  // its first line, when it was killed
        hit.erase(std::min(hit.find('\n'), hit.size()));
        ++roundsOf[nameOf(kind)];
        if (!hit.empty()) {
            ++killsOf[nameOf(kind)];
            ++callsHit[hit.substr(0, hit.find(' '))];
            ++programKills;
        } else if (kind == Kind::Random) {
            if (killedByUs) ++killsOf[nameOf(kind)];
        } else {
            ++endedFirst[nameOf(kind)];  // the chosen call lay beyond what this run did
        }
        if (program.endSignal() != SIGKILL && !(program.endSignal() == 0 && program.exitCode() == 0))
            problems.push_back("ended by signal " + std::to_string(program.endSignal()) + ", exit code " +
                               std::to_string(program.exitCode()));
        if (kind == Kind::Random)
            upBeforeKill += cameUp;
        else if (!cameUp)
            problems.push_back("the program did not come up");

        // The settings: whole, one row, every setting as supplied; the exit counter moved by at most
        // one exit, and a kill inside the compaction comes after the commit of 1.
        const auto settings = rx47::test::checkSettingsFile(folder.settingsFile());
        if (!settings.problem.empty()) problems.push_back("RX47.dat: " + settings.problem);
        for (const std::string& d :
             rx47::test::settingDifferences(settings.row, rx47::test::suppliedSettings(), {"running"}))
            problems.push_back("RX47.dat: " + d);
        const std::int64_t after = runningOf(settings.row);
        const std::int64_t next = running >= 100 ? 1 : running + 1;
        if (kind == Kind::Compaction && inCompaction(hit, folder.path()) && after != 1)
            problems.push_back("running is " + std::to_string(after) + " after a kill in the compaction");
        else if (after != running && after != next)
            problems.push_back("running went from " + std::to_string(running) + " to " + std::to_string(after));
        running = after;

        // The records: every file whole.
        const auto records = rx47::test::checkRecordFolder(folder.recordFolder());
        for (const std::string& p : records.problems) problems.push_back(p);
        lastDataLines = records.dataLines;
        lastFiles = records.files;
        emptyFiles = std::max(emptyFiles, records.emptyFiles);

        ++rounds;
        if (!problems.empty()) ++failures;
        if (options.verbose || !problems.empty()) {
            std::printf("round %3d  %-15s %-60s %5.1f s  %s\n", round + 1, nameOf(kind),
                        hit.empty() ? (kind == Kind::Random ? "killed" : "ended first") : hit.c_str(), lasted,
                        problems.empty() ? "ok" : "FAILED");
            for (const std::string& p : problems) std::printf("    %s\n", p.c_str());
            std::fflush(stdout);
        }
    }
    device.stop();

    std::printf("\nkill loop: %d rounds in %.0f s (seed %u)%s\n", rounds, elapsed(), options.seed,
                rounds < options.rounds ? ", cut short by the time limit" : "");
    for (Kind kind : kKinds) {
        const std::string name = nameOf(kind);
        std::printf("  %-16s %3d rounds, %3d killed", (name + ":").c_str(), roundsOf[name], killsOf[name]);
        if (kind == Kind::Random)
            std::printf(" (%d after asking the device for its report)", upBeforeKill);
        else
            std::printf(" inside the chosen call, %d ended before reaching it", endedFirst[name]);
        std::printf("\n");
    }
    std::printf("  calls killed in:");
    for (const auto& [call, n] : callsHit) std::printf(" %s %d", call.c_str(), n);
    std::printf("\n  records at the end: %d lines in %d files (at most %d empty at once)\n", lastDataLines, lastFiles,
                emptyFiles);
    std::printf("  failures: %d\n", failures);
    fs::remove_all(work);
    fs::remove_all(folder.path().string() + ".home");
    return failures == 0 ? 0 : 1;
}
