// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Figures for the monitor core: the cost of an intake and of a per-minute update, a simulated week
// of monitoring (memory must not grow), the settings file's open and commit, and the metrics file's
// replacement. Prints figures;
// asserts nothing (machines here are shared and noisy).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "monitor/metrics_file.h"
#include "monitor/minute_update.h"
#include "monitor/timer_schedule.h"
#include "storage/records.h"
#include "support/program_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

double microsecondsSince(Clock::time_point start, long count) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / static_cast<double>(count);
}

}  // namespace

int main() {
    using rx47::test::TestMonitor;
    TestMonitor m;
    m.port.devices = {1};
    m.port.open(1);
    m.values.gammaCoefficient = 120;
    m.values.cpmAlarmLevel = 100;
    m.values.cpmScaleFactor = 60;
    m.state.doseScaleFactor = 15000;
    m.state.monthFolder = rx47::monthFolderName(m.clock.time);
    rx47::createRecordFolders(m.folder.path(), m.state.monthFolder);

    // Intake: one reading a tick.
    const long intakes = 20000;
    auto start = Clock::now();
    for (long i = 0; i < intakes; ++i) {
        m.port.received = std::to_string(20 + i % 15) + "\r\n";
        rx47::onTimerTick(m.ctx, rx47::timer::kIntake);
        m.port.sent.clear();
    }
    std::printf("intake of one reading:            %8.2f us\n", microsecondsSince(start, intakes));

    // A week of minutes with both record files on: 30 readings a minute, one update a minute.
    const long minutes = 7 * 24 * 60;
    const long rssBefore = residentKiB();
    start = Clock::now();
    Clock::duration updates{};
    for (long minute = 0; minute < minutes; ++minute) {
        for (int r = 0; r < 30; ++r) {
            m.port.received = std::to_string(20 + (minute + r) % 15) + "\r\n";
            rx47::onTimerTick(m.ctx, rx47::timer::kIntake);
        }
        auto& t = m.clock.time;
        if (++t.minute == 60) {
            t.minute = 0;
            if (++t.hour == 24) t.hour = 0, ++t.day;
        }
        const auto u = Clock::now();
        rx47::minuteUpdate(m.ctx);
        updates += Clock::now() - u;
        m.port.sent.clear();
    }
    const double weekSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("per-minute update with records:   %8.2f us\n",
                std::chrono::duration<double, std::micro>(updates).count() / minutes);
    std::printf("a week of monitoring (10080 min): %8.2f s\n", weekSeconds);
    std::printf("resident memory before / after:   %8ld / %ld KiB\n", rssBefore, residentKiB());

    // The settings file: open (key derivation) and a one-column commit.
    start = Clock::now();
    const int opens = 10;
    for (int i = 0; i < opens; ++i) {
        rx47::SettingsRow row;
        row.open(m.folder.path());
    }
    std::printf("settings open:                    %8.2f ms\n", microsecondsSince(start, opens) / 1000);
    start = Clock::now();
    const int commits = 50;
    for (int i = 0; i < commits; ++i) {
        m.settings.write("COMport", std::to_string(1 + i % 2));
        m.settings.commit();
    }
    std::printf("settings write + commit:          %8.2f ms\n", microsecondsSince(start, commits) / 1000);

    // The metrics file, written, synced and renamed over the last one, as after each minute update.
    m.ctx.reporting.metricsFile = m.folder.path() / "rx47.prom";
    const int writes = 200;
    start = Clock::now();
    for (int i = 0; i < writes; ++i) rx47::writeMetricsFile(m.ctx);
    std::printf("metrics file replaced:            %8.2f ms\n", microsecondsSince(start, writes) / 1000);
    return 0;
}
