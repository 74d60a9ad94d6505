// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The two scales of the trend graph: CPM for the bars (graph::kCpmValues), dose rate for the polyline
// (graph::kDoseValues), chosen in their lists of Combo1 and kept in the settings. What each scale
// shows is in model/graph_scales.h.
#pragma once

namespace rx47 {

struct DisplayContext;

/// Applies the CPM scale of Combo1(0): labels, cpmScaleFactor and the alarm line.
void applyCpmScale(DisplayContext ctx);
/// Applies the dose scale of Combo1(2): labels and doseScaleFactor.
void applyDoseScale(DisplayContext ctx);
/// The user picked an entry of Combo1(index): apply it, redraw the graph and store the choice.
void Combo1_Click(DisplayContext ctx, int index);

}  // namespace rx47
