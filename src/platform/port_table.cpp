// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/port_table.h"

#include <string>
#include <system_error>

namespace rx47 {

std::optional<std::filesystem::path> portDevicePath(const std::filesystem::path& programFolder, int n) {
    if (n < 1 || n > 256) return std::nullopt;
    std::error_code ec;
    const auto table = programFolder / "ports";
    if (std::filesystem::is_directory(table, ec)) return table / ("COM" + std::to_string(n));
    if (n <= 32) return std::filesystem::path("/dev/ttyS" + std::to_string(n - 1));
    if (n <= 64) return std::filesystem::path("/dev/ttyUSB" + std::to_string(n - 33));
    if (n <= 96) return std::filesystem::path("/dev/ttyACM" + std::to_string(n - 65));
    return std::nullopt;
}

}  // namespace rx47
