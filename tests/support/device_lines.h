// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the device simulator was sent, as the tests ask it: the program's requests are the proof that
// it got somewhere (start-up asks for the status once, every minute update asks again).
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "sim/simulator.h"

namespace rx47::test {

/// How many times the device has been sent `line`, counting from its `from`th line on.
inline int timesReceived(const rx47sim::Simulator& device, const std::string& line, std::size_t from = 0) {
    const auto lines = device.receivedLines();
    return static_cast<int>(
        std::count(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(), line));
}

}  // namespace rx47::test
