// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The device simulator as the tests set it up and ask it: what it was sent is the proof that the
// program got somewhere (start-up asks for the status once, every minute update asks again).
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>

#include "sim/simulator.h"

namespace rx47::test {

/// A device linked at `link` (a port of a program folder's port table) that sends a reading every
/// `intervalSeconds`.
inline rx47sim::Options deviceOn(const std::filesystem::path& link, double intervalSeconds = 0.5) {
    rx47sim::Options options;
    options.link = link;
    options.intervalSeconds = intervalSeconds;
    return options;
}

/// How many times the device has been sent `line`, counting from its `from`th line on.
inline int timesReceived(const rx47sim::Simulator& device, const std::string& line, std::size_t from = 0) {
    const auto lines = device.receivedLines();
    return static_cast<int>(
        std::count(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(), line));
}

}  // namespace rx47::test
