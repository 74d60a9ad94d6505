// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/dose.h"

#include "base/failure.h"
#include "base/number.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"

namespace rx47 {

bool meansNoDevice(const ProgramValues& values, Cpm cpm) {
    return values.gammaCoefficient == 0 && cpm.count() == 0;
}

std::string doseCaption(ProgramValues& values, const SettingsRow& settings, Cpm cpm) {
    if (values.gammaCoefficient == 0) {
        if (cpm.count() != 0)
            step([&] { values.gammaCoefficient = toUInt16(settings.number(column::kGammaCoefficient)); });
        return "";
    }
    return DoseRate::of(cpm, values.gammaCoefficient).truncatedText();
}

}  // namespace rx47
