// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The start-up sequence of the main window (its load handler). Every step skips its own failure:
// a missing settings file or an absent device never stops the program from starting.
#pragma once

#include "model/version.h"

namespace rx47 {

struct Context;
struct UiContext;

/// Runs the whole start-up sequence.
void Form_Load(Context& ctx);

/// The main window became active: loading is over, the controls act from now on.
void Form_Activate(UiContext ctx);

}  // namespace rx47
