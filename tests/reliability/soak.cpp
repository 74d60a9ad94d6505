// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The soak: days of monitoring through the core in virtual time, with the real settings file and the
// real record files, against a scripted device and operator that mix readings, line noise, silence,
// unplugging and plugging in, radiation bursts that raise alarms, "停止"/"受信", the buzzer and changes
// in the settings dialog. Checked throughout:
//   - one record line per clock minute while data flows (a minute with nothing else going on, after
//     such a minute), and never a second line in such a minute;
//   - every record file whole, checked at the end of each day;
//   - the settings file whole, with every setting as the script last set it, checked every hour;
//   - memory flat: resident memory at the end of the first and of the last day (printed).
//
//   soak [--days N | --hours N] [--seed N]
//
// Prints its figures; exits 1 when an invariant broke.
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "model/setup_form.h"
#include "monitor/timer_schedule.h"
#include "setup/setup.h"
#include "storage/records.h"
#include "support/core_rig.h"
#include "support/file_checks.h"
#include "ui/controls.h"

namespace {

namespace fs = std::filesystem;
using namespace rx47;

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

/// Heap bytes in use (RSS also keeps what the daily file checks once needed).
long heapKiB() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

/// The device at the end of the line, as the script plays it.
struct Device {
    bool plugged = true;
    bool stopped = false;  ///< by "stop", until "go"
    long silentUntil = 0;  ///< sends nothing before this second
    long burstUntil = 0;   ///< a source held to the tube
    int gms = 120;
    int atc = 100;
    long long total = 0;
    std::size_t commandsSeen = 0;
    std::vector<std::string> replies;  ///< due at the next second
};

/// What the script did, for the checks.
struct Tally {
    std::map<std::string, int> events;
    long flowingMinutes = 0;
    long recordLines = 0;
    long settingsChecks = 0;
    std::vector<std::string> failures;
    void fail(const std::string& what) {
        if (failures.size() < 20) std::printf("FAILED: %s\n", what.c_str());
        failures.push_back(what);
    }
};

std::string twoDigits(int n) {
    return (n < 10 ? "0" : "") + std::to_string(n);
}

LocalDateTime plusSeconds(const LocalDateTime& t, long seconds) {
    test::VirtualTimerArray timers;
    test::FollowingClock clock(timers, t);
    timers.advance(seconds * 1000);
    return clock.now();
}

}  // namespace

int main(int argc, char** argv) {
    long hours = 7 * 24;
    unsigned seed = 47;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--days")
            hours = 24L * std::atoi(argv[i + 1]);
        else if (arg == "--hours")
            hours = std::atol(argv[i + 1]);
        else if (arg == "--seed")
            seed = static_cast<unsigned>(std::atol(argv[i + 1]));
    }
    std::mt19937 random(seed);
    const auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(random) < p; };
    const auto between = [&](long low, long high) { return std::uniform_int_distribution<long>(low, high)(random); };

    // Three days before a month ends, ten minutes before midnight.
    test::CoreRig rig({2026, 5, 28, 23, 50, 0});
    Device device;
    Tally tally;
    rig.port.devices = {1};
    rig.start();

    // The settings as they must stand on disk: the supplied ones, changed as the script changes them.
    std::map<std::string, SettingValue> expected = test::suppliedSettings();
    bool reportStored = false;  // the first status report after start stores gms and atc

    const fs::path master = rig.folder.path() / kRecordFolder / kMasterRecordFile;
    std::uintmax_t masterRead = 0;
    std::map<std::string, int> linesOfMinute;  // "date hh:mm" -> new lines seen
    std::set<std::string> disturbed;           // minutes with anything but plain data in them or before them

    long operatorReSearchAt = -1, operatorAcknowledgeAt = -1, resumeAt = -1, replugAt = -1;
    const long seconds = hours * 3600;
    long dayOneResident = 0, dayOneHeap = 0;
    long soundsPlayed = 0;
    const long startResident = residentKiB();
    const long startHeap = heapKiB();

    const auto minuteOf = [&](const LocalDateTime& t) {
        return dateText(t) + " " + twoDigits(t.hour) + ":" + twoDigits(t.minute);
    };
    const auto disturb = [&](const std::string& what) {
        ++tally.events[what];
        const LocalDateTime now = rig.clock.now();
        disturbed.insert(minuteOf(now));
        // The next minute's line holds this minute's figures: it is disturbed as well.
        disturbed.insert(minuteOf(plusSeconds(now, 60)));
    };

    const auto checkSettings = [&](const std::string& when) {
        const auto settings = test::checkSettingsFile(rig.folder.settingsFile());
        if (!settings.problem.empty()) tally.fail("RX47.dat " + when + ": " + settings.problem);
        for (const std::string& d : test::settingDifferences(settings.row, expected))
            tally.fail("RX47.dat " + when + ": " + d);
    };

    // The settings dialog, as an operator changes it: a level, the coefficient, an option box.
    rig.desktop.onSetupDialog = [&] {
        SetupForm form = setup::makeSetupForm();
        setup::Form_Load(rig.ctx, form);
        const char* doses[] = {"0.3", "0.5", "0.75"};
        const char* levels[] = {"80", "100", "150"};
        const char* coefficients[] = {"100", "120", "150"};
        const std::string dose = doses[between(0, 2)];
        const std::string coefficient = coefficients[between(0, 2)];
        setup::txt_Change(form, kDoseLevelText, dose);
        setup::txt_Change(form, kCpmLevelText, levels[between(0, 2)]);
        setup::txt_Change(form, kGammaText, coefficient);
        const int boxes[] = {1, 2, 3, 5};  // flash, sound, popup, warnline
        const char* columns[] = {"flash", "sound", "popup", "warnline"};
        const int which = static_cast<int>(between(0, 3));
        const bool checked = !form.Check1[boxes[which]].value;
        setup::setCheck(rig.ctx, form, boxes[which], checked);
        expected[columns[which]] = std::int64_t{checked ? -1 : 0};
        if (setup::Form_QueryUnload(rig.ctx, form, setup::kCloseFromControlMenu))
            tally.fail("the dialog rejected good values");
        expected["warnLineLevel"] = std::stod(dose);
        expected["gkeisuu"] = std::int64_t{std::stoi(coefficient)};
    };

    for (long second = 1; second <= seconds; ++second) {
        // The device reads the commands the program sent.
        while (device.commandsSeen < rig.port.sent.size()) {
            const std::string command = rig.port.sent[device.commandsSeen++];
            if (command == "show\r\n")
                device.replies.push_back("gms:" + std::to_string(device.gms) + "\r\natc:" + std::to_string(device.atc) +
                                         "\r\nttc:" + std::to_string(device.total) + "\r\n");
            else if (command == "stop\r\n")
                device.stopped = true;
            else if (command == "go\r\n")
                device.stopped = false;
            else if (command == "set ttc=0\r\n")
                device.total = 0;
            else if (command.rfind("set gms=", 0) == 0)
                device.gms = std::stoi(command.substr(8));
            else if (command.rfind("set atc=", 0) == 0)
                device.atc = std::stoi(command.substr(8));
        }
        // Only an open port receives anything.
        const bool talking = device.plugged && second >= device.silentUntil && rig.port.isOpen();
        if (talking) {
            for (const std::string& reply : device.replies) {
                rig.deliver(reply);
                if (!reportStored) {
                    expected["gkeisuu"] = std::int64_t{device.gms};
                    expected["warnCPMlevel"] = std::int64_t{device.atc};
                    reportStored = true;
                }
            }
            if (!device.stopped && second % 2 == 0) {
                const int cpm = second < device.burstUntil ? static_cast<int>(between(300, 400))
                                                           : std::max(1, static_cast<int>(between(15, 35)));
                device.total += cpm / 30;
                rig.deliver(std::to_string(cpm) + "\r\n");
            }
        }
        device.replies.clear();

        // The script, once a minute at its 30th second: each kind of event at a fixed hour of every
        // day, and more at random.
        const LocalDateTime when = rig.clock.now();
        if (when.second == 30) {
            const auto dailyAt = [&](int hour) { return when.hour == hour && when.minute == 0; };
            if (dailyAt(1) || chance(1.0 / 120)) {
                std::string noise;
                for (long n = between(1, 200); n > 0; --n) noise += static_cast<char>(between(0, 255));
                if (rig.port.isOpen()) rig.deliver(noise + "-5\r\n");
                disturb("line noise");
            }
            if (dailyAt(10) || chance(1.0 / 600)) {
                device.silentUntil = second + between(120, 900);
                disturb("silence");
            }
            if (device.plugged && replugAt < 0 && (dailyAt(2) || chance(1.0 / 720))) {
                device.plugged = false;
                rig.port.devices.clear();
                rig.port.close();
                replugAt = second + between(60, 1800);
                disturb("unplug");
            }
            if (second > device.burstUntil + 600 && (dailyAt(4) || chance(1.0 / 720))) {
                device.burstUntil = second + between(20, 90);
                operatorAcknowledgeAt = device.burstUntil + between(30, 600);
                disturb("radiation burst");
            }
            if (resumeAt < 0 && (dailyAt(6) || chance(1.0 / 1440))) {
                Option1_Click(rig.ctx, 1);
                resumeAt = second + between(60, 1200);
                disturb("停止");
            }
            if (dailyAt(8) || chance(1.0 / 720)) {
                cmd_Click(rig.ctx, 1);
                disturb("settings dialog");
            }
            if (dailyAt(14) || chance(1.0 / 1440)) {
                const bool on = chance(0.5);
                if (rig.port.isOpen()) expected["buzzer"] = std::int64_t{on ? -1 : 0};
                Option2_Click(rig.ctx, on ? 0 : 1);
                disturb("buzzer");
            }
        }
        if (replugAt >= 0 && second >= replugAt) {
            device.plugged = true;
            rig.port.devices = {1};
            replugAt = -1;
            operatorReSearchAt = second + between(10, 300);
            disturb("plug in");
        }
        if (operatorReSearchAt >= 0 && second >= operatorReSearchAt) {
            // The operator sees "再検索" and presses it (when the program found the device by itself
            // meanwhile, the button is the reset; pressing it then resets the statistics).
            if (rig.state.link != LinkState::Linked) cmd_Click(rig.ctx, 0);
            operatorReSearchAt = -1;
            disturb("re-search");
        }
        if (operatorAcknowledgeAt >= 0 && second >= operatorAcknowledgeAt) {
            if (rig.timers.isRunning(timer::kAlarmFlash)) {
                cmd_Click(rig.ctx, 0);
                ++tally.events["alarm acknowledged"];
            }
            operatorAcknowledgeAt = -1;
            disturb("acknowledge");
        }
        if (resumeAt >= 0 && second >= resumeAt) {
            Option1_Click(rig.ctx, 0);
            resumeAt = -1;
            disturb("受信");
        }
        if (rig.timers.isRunning(timer::kAlarmFlash)) disturbed.insert(minuteOf(rig.clock.now()));
        if (!device.plugged || !rig.port.isOpen() || rig.state.link != LinkState::Linked || rig.form.Option1[1].value ||
            second < device.silentUntil || second < device.burstUntil)
            disturbed.insert(minuteOf(rig.clock.now()));

        rig.advance(1000);

        const LocalDateTime now = rig.clock.now();
        if (now.second == 10) {
            // The lines written since the last look.
            std::ifstream in(master, std::ios::binary);
            in.seekg(static_cast<std::streamoff>(masterRead));
            std::string line;
            while (std::getline(in, line)) {
                if (in.eof()) break;  // a line without its end: the file check reports it
                masterRead += line.size() + 1;
                if (line.size() > 16 && line[4] == '-' && line[13] == ':') {
                    ++linesOfMinute[line.substr(0, 10) + " " + line.substr(11, 5)];
                    ++tally.recordLines;
                }
            }
            // This minute's line (written at its first tick) holds the minute before: it is due now.
            const std::string minute = minuteOf(now);
            if (!disturbed.count(minute) && second > 180) {
                ++tally.flowingMinutes;
                if (linesOfMinute[minute] != 1)
                    tally.fail(std::to_string(linesOfMinute[minute]) + " record lines in the flowing minute " + minute);
            }
        }
        if (second % 3600 == 0) {
            // What the fakes and this script keep only for looking back: forgotten, so that the
            // memory figures are the program's.
            rig.timers.forgetFired();
            rig.logLines.lines.clear();
            soundsPlayed += std::count(rig.player.commands.begin(), rig.player.commands.end(), "Play");
            rig.player.commands.clear();
            rig.port.sent.erase(rig.port.sent.begin(), rig.port.sent.begin() + static_cast<long>(device.commandsSeen));
            device.commandsSeen = 0;
            const std::string current = minuteOf(rig.clock.now());
            linesOfMinute.erase(linesOfMinute.begin(), linesOfMinute.lower_bound(current));
            disturbed.erase(disturbed.begin(), disturbed.lower_bound(current));
            ++tally.settingsChecks;
            checkSettings("at hour " + std::to_string(second / 3600));
        }
        if (second % 86400 == 0 || second == seconds) {
            const auto records = test::checkRecordFolder(rig.folder.path() / kRecordFolder);
            for (const std::string& p : records.problems) tally.fail(p);
            const long resident = residentKiB();
            const long heap = heapKiB();
            if (second == 86400) dayOneResident = resident, dayOneHeap = heap;
            std::printf("hour %ld: %d record files, %d lines, resident memory %ld KiB, heap in use %ld KiB\n",
                        second / 3600, records.files, records.dataLines, resident, heap);
            std::fflush(stdout);
        }
    }

    // The end: the exit is counted and the file stays whole.
    rig.shutDown();
    expected["running"] = std::int64_t{2};
    checkSettings("after the exit");

    std::printf("\nsoak: %ld simulated hours, seed %u\n", hours, seed);
    std::printf("  events:");
    for (const auto& [what, n] : tally.events) std::printf(" %s %d,", what.c_str(), n);
    std::printf("\n  record lines: %ld; flowing minutes checked for exactly one line: %ld\n", tally.recordLines,
                tally.flowingMinutes);
    std::printf(
        "  alarm sounds played: %ld; settings checks: %ld\n",
        soundsPlayed + static_cast<long>(std::count(rig.player.commands.begin(), rig.player.commands.end(), "Play")),
        tally.settingsChecks);
    if (hours >= 24) {
        std::printf("  resident memory: start %ld KiB, day 1 %ld KiB, end %ld KiB\n", startResident, dayOneResident,
                    residentKiB());
        std::printf("  heap in use: start %ld KiB, day 1 %ld KiB, end %ld KiB\n", startHeap, dayOneHeap, heapKiB());
    } else {
        std::printf("  resident memory: start %ld KiB, end %ld KiB; heap in use: start %ld KiB, end %ld KiB\n",
                    startResident, residentKiB(), startHeap, heapKiB());
    }
    std::printf("  failures: %zu\n", tally.failures.size());
    return tally.failures.empty() ? 0 : 1;
}
