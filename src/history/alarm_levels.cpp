// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "history/alarm_levels.h"

#include <cmath>
#include <exception>

#include "storage/settings_row.h"

namespace rx47::history {

AlarmLevels readAlarmLevels(const std::filesystem::path& programFolder) {
    AlarmLevels levels;
    if (!fileExists(programFolder / kSettingsFileName)) return levels;
    SettingsRow settings;
    const auto level = [&](auto column) -> std::optional<double> {
        try {
            const double v = settings.number(column);
            if (std::isfinite(v) && v > 0) return v;
        } catch (const std::exception&) {
        }
        return std::nullopt;
    };
    try {
        settings.open(programFolder);
    } catch (const std::exception&) {
        return levels;
    }
    levels.cpm = level(column::kCpmAlarmLevel);
    levels.dose = level(column::kDoseAlarmLevel);
    settings.close();
    return levels;
}

}  // namespace rx47::history
