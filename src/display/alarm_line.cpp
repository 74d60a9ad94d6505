// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/alarm_line.h"

#include "base/failure.h"
#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

/// Moves the line to the level's height; false when the level cannot be placed on the plot. The
/// height is 16-bit: one that does not fit leaves the line where it was.
bool placeLine(DisplayContext ctx, LineControl& line) {
    const double height = static_cast<double>(ctx.values.cpmAlarmLevel) * ctx.values.cpmScaleFactor;
    try {
        const std::int16_t y = toInt16(static_cast<double>(graph::kBaseY) - toInt16(height));
        line.y1 = y;
        line.y2 = y;
        return y >= graph::kTopY;
    } catch (const Failure&) {
        return false;
    }
}

}  // namespace

void updateCpmAlarmLine(DisplayContext ctx, AlarmLineChange change) {
    LineControl& line = ctx.form.lne[kAlarmLine];
    if (change == AlarmLineChange::DeviceLost || change == AlarmLineChange::BoxCleared) {
        line.visible = false;
        return;
    }
    if (!placeLine(ctx, line)) {
        line.visible = false;
        return;
    }
    switch (change) {
        case AlarmLineChange::LevelReported:
            stepIf([&] { return ctx.settings.isTrue(column::kAlarmLine); }, [&] { line.visible = true; },
                   [&] { line.visible = false; });
            break;
        case AlarmLineChange::ScaleApplied:
        case AlarmLineChange::LevelEntered:
            if (!ctx.state.isLoading && ctx.state.link == LinkState::Linked)
                stepIf([&] { return ctx.settings.isTrue(column::kAlarms) && ctx.settings.isTrue(column::kAlarmLine); },
                       [&] { line.visible = true; });
            break;
        case AlarmLineChange::BoxChecked:
            line.visible = true;
            break;
        default:
            break;
    }
}

}  // namespace rx47
