// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's version, as --version, the metrics file and MQTT's device description give it.
#pragma once

namespace rx47 {

inline constexpr const char* kVersionText = "1.2";

}  // namespace rx47
