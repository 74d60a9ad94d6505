// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The tool tips of the trend graph: a minute bar tells its CPM, the peak bar the largest per-minute
// CPM and the "*" marker the dose rate of that maximum. Built afresh from the captions on every mouse
// move, so a tip always shows the current figures.
#pragma once

#include <string>

namespace rx47 {

struct DisplayContext;
struct MainForm;

/// The tool tip text of tgt(index) from the current captions; "" for an index outside 0…82.
std::string barToolTip(const MainForm& form, int index);

/// The mouse moved over tgt(index): its tool tip text is set anew.
void tgt_MouseMove(DisplayContext ctx, int index);

}  // namespace rx47
