// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm levels the history plot draws as lines, from the program folder's settings file. The
// viewer only reads them: it never writes or commits the settings.
#pragma once

#include <filesystem>
#include <optional>

namespace rx47::history {

struct AlarmLevels {
    std::optional<double> cpm;   ///< `warnCPMlevel`
    std::optional<double> dose;  ///< `warnLineLevel`, μSv/h
    bool operator==(const AlarmLevels&) const = default;
};

/// The levels in "RX47.dat"; none when the file is missing or cannot be read (then no line is drawn).
AlarmLevels readAlarmLevels(const std::filesystem::path& programFolder);

}  // namespace rx47::history
