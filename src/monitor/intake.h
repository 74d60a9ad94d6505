// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The intake of what the counter sent (tick of the intake timer): the device layer reads the text;
// here a status report's tags fill the gamma coefficient, the CPM alarm level and the total count,
// and a reading is accepted or rejected, shown as real-time CPM and dose, counted into the minute,
// reported and evaluated against the alarm levels, in that order.
#pragma once

namespace rx47 {

struct Context;

/// One tick of the intake timer.
void intakeTick(Context& ctx);

}  // namespace rx47
