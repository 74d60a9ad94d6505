// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/program_folder.h"

#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "monitor/timer_schedule.h"

namespace rx47::test {

std::filesystem::path suppliedSettingsFile() {
    return std::filesystem::path(RX47_SUPPLIED_FOLDER) / kSettingsFileName;
}
std::filesystem::path legacySettingsFile() {
    return std::filesystem::path(RX47_TEST_DATA) / "RX47_legacy.dat";
}

TempProgramFolder::TempProgramFolder(Settings settings) {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("rx47-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    if (settings == Settings::Supplied) std::filesystem::copy_file(suppliedSettingsFile(), settingsFile());
    if (settings == Settings::Legacy) std::filesystem::copy_file(legacySettingsFile(), settingsFile());
}

TempProgramFolder::~TempProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TestMonitor::TestMonitor(TempProgramFolder::Settings kind)
    : folder(kind), ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, folder.path(), log} {
    settings.setLog(&log);
    ctx.commandRunner = &commands;
    if (kind != TempProgramFolder::Settings::None) settings.open(folder.path());
    setUpTimers(ctx);
    timers.setTickHandler([this](int index) { onTimerTick(ctx, index); });
}

void TestMonitor::connectDevice() {
    port.devices = {1};
    port.open(1);
    values.gammaCoefficient = 120;
    values.cpmAlarmLevel = 100;
}

void TestMonitor::receive(const std::string& text) {
    port.received += text;
    timers.start(timer::kIntake);
    timers.advance(500);
}

void TestMonitor::setSetting(const std::string& column, SettingValue value) {
    settings.write(column, std::move(value));
    settings.commit();
}

}  // namespace rx47::test
