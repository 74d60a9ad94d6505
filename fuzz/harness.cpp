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
    // The window's design scales, picked as start-up picks a stored choice.
    for (const CpmScale& scale : kCpmScales) form.Combo1[kCpmScaleList].items.emplace_back(scale.text);
    form.Combo1[kCpmScaleList].text = kDesignCpmScale.text;
    form.Combo1[kCpmScaleList].listIndex = static_cast<int>(&kDesignCpmScale - kCpmScales);
    for (const DoseScale& scale : kDoseScales) form.Combo1[kDoseScaleList].items.emplace_back(scale.text());
    form.Combo1[kDoseScaleList].text = kDesignDoseScale.text();
    form.Combo1[kDoseScaleList].listIndex = static_cast<int>(&kDesignDoseScale - kDoseScales);
    setUpTimers(ctx);
    step([&] { applyCpmScale(ctx); });
    step([&] { applyDoseScale(ctx); });
    state.monthFolder = monthFolderName(clock.now());
    step([&] { createRecordFolders(ctx.programFolder, state.monthFolder); });
    timers.start(timer::kMinute);  // as at the end of the splash delay
    Form_Activate(ctx);
}

}  // namespace rx47::fuzz
