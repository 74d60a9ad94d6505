// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The CPM alarm-level line lne(7) across the graph: the one place that says where it stands and
// whether it shows. Everyone who changes the level, the scale or the line's setting asks it.
#pragma once

namespace rx47 {

struct DisplayContext;

/// What happened to the CPM alarm line. Each cause has its own say on whether the line shows; a level
/// that cannot be placed on the current scale (above the plot, or beyond the graph's 16-bit
/// arithmetic) hides it whatever the cause, since it would stand at some other level.
enum class AlarmLineChange {
    LevelReported,  ///< the device reported its level: shows when the `warnline` setting is on
    ScaleApplied,   ///< a CPM scale was applied: shows when `warning` and `warnline` are on, once the
                    ///< start-up is over and while the device is heard (else its visibility stays)
    LevelEntered,   ///< the settings dialog changed the level: as a scale applied, so a line hidden
                    ///< for a level off the scale comes back with one on it
    BoxChecked,     ///< the dialog's line box was checked: shows
    BoxCleared,     ///< the dialog's line box was cleared: hides
    DeviceLost,     ///< the device is not heard: hides, with the other graph lines
};

/// Places the CPM alarm line at the level on the current scale (a height beyond 16 bits leaves it
/// where it was) and shows or hides it as `change` says.
void updateCpmAlarmLine(DisplayContext ctx, AlarmLineChange change);

}  // namespace rx47
