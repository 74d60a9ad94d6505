// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The two alarms the monitor raises: readings above the CPM alarm level, and above the dose level.
#pragma once

namespace rx47 {

enum class AlarmKind { Cpm, Dose };

}  // namespace rx47
