// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "harness.h"

#include "base/failure.h"

#include "display/scales.h"
#include "model/graph_scales.h"
#include "monitor/timer_schedule.h"
#include "storage/records.h"
#include "support/file_checks.h"
#include "ui/startup.h"

const char* rx47FuzzInputName = nullptr;

namespace rx47::fuzz {

SharedSettings& SharedSettings::instance() {
    static SharedSettings settings;
    return settings;
}

SharedSettings::SharedSettings() {
    row_.open(folder_.path());
    for (const auto& [name, value] : test::suppliedSettings()) original_[name] = row_.value(name);
}

void SharedSettings::restore() {
    bool changed = false;
    for (const auto& [name, value] : original_) {
        if (row_.value(name) != value) {
            row_.write(name, value);
            changed = true;
        }
    }
    if (changed) row_.commit();
    std::error_code ec;
    std::filesystem::remove_all(folder_.path() / kRecordFolder, ec);
}

Monitor::Monitor(const LocalDateTime& start)
    : Rig({.settings = test::TempProgramFolder::Settings::None,
           .programFolder = SharedSettings::instance().folder(),
           .settingsRow = &SharedSettings::instance().row()}) {
    clock.set(start);
    SharedSettings::instance().restore();
    dispatchTicks();
    dispatchReceivedData();
    port.devices = {1};
}

void Monitor::start() {
    // As the load handler runs it, less the opening of the settings (open already).
    step([&] { startUpConnection(ctx); });
    for (const CpmScale& scale : kCpmScales) form.Combo1[0].items.emplace_back(scale.text);
    form.Combo1[0].text = "100";
    form.Combo1[0].listIndex = 1;
    for (const DoseScale& scale : kDoseScales) form.Combo1[2].items.emplace_back(scale.text());
    form.Combo1[2].text = "0.400";
    form.Combo1[2].listIndex = 2;
    setUpTimers(ctx);
    step([&] { applyCpmScale(ctx); });
    step([&] { applyDoseScale(ctx); });
    state.monthFolder = monthFolderName(clock.now());
    step([&] { createRecordFolders(ctx.programFolder, state.monthFolder); });
    timers.start(timer::kMinute);  // as at the end of the splash delay
    Form_Activate(ctx);
}

}  // namespace rx47::fuzz
