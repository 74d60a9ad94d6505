// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The port table: which device a serial port number 1…256 stands for.
//
// When the program folder has a folder "ports/", it is the whole table: port n is "ports/COM<n>"
// (a link to a real device, or to the simulator's pseudo-terminal) and no other device is ever
// opened. Otherwise 1–32 are /dev/ttyS0…31, 33–64 /dev/ttyUSB0…31, 65–96 /dev/ttyACM0…31, and
// 97–256 stand for nothing.
#pragma once

#include <filesystem>
#include <optional>

namespace rx47 {

std::optional<std::filesystem::path> portDevicePath(const std::filesystem::path& programFolder, int portNumber);

}  // namespace rx47
