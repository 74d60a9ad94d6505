// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/scales.h"

#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "display/alarm_line.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/graph_scales.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"

namespace rx47 {

void applyCpmScale(DisplayContext ctx) {
    const std::string& s = ctx.form.Combo1[kCpmScaleList].text;
    for (const CpmScale& scale : kCpmScales) {
        if (s != scale.text) continue;
        const int fullScale = static_cast<int>(readNumber(scale.text));
        for (int k = 0; k < graph::kCpmValues.size(); ++k)
            ctx.form.lbl[graph::kCpmValues.at(k)].caption = cpmValueText(fullScale, k);
        ctx.values.cpmScaleFactor = scale.factor;
        break;
    }
    updateCpmAlarmLine(ctx, AlarmLineChange::ScaleApplied);
}

void applyDoseScale(DisplayContext ctx) {
    const double v = captionValue(ctx.form.Combo1[kDoseScaleList].text);
    for (const DoseScale& scale : kDoseScales) {
        if (v != captionValue(scale.text())) continue;
        for (int k = 0; k < graph::kDoseValues.size(); ++k)
            ctx.form.lbl[graph::kDoseValues.at(k)].caption = scale.valueText(k);
        ctx.state.doseScaleFactor = scale.factor;
        break;
    }
}

void Combo1_Click(DisplayContext ctx, int index) {
    if (ctx.state.isLoading) return;
    MainForm& f = ctx.form;
    if (index == kCpmScaleList) {
        step([&] { applyCpmScale(ctx); });
        for (int i : graph::kMinuteBars) step([&] { setBarHeight(ctx, f.tgt[i], captionValue(f.tgt[i].caption)); });
        step([&] { setBarHeight(ctx, f.tgt[graph::kPeakBar], captionValue(f.Label[kMaxCpm].caption)); });
        step([&] { ctx.settings.write(column::kCpmScale, f.Combo1[kCpmScaleList].text); });
        step([&] { ctx.settings.commit(); });
    } else if (index == kDoseScaleList) {
        step([&] { applyDoseScale(ctx); });
        for (int i = 0; i < graph::kSegments; ++i) {
            step([&] {
                f.bar[i].y1 = dosePointY(ctx, f.tgt[i].caption);
                f.bar[i].y2 = dosePointY(ctx, f.tgt[i + 1].caption);
            });
        }
        step([&] { placePeakMarker(ctx); });
        step([&] { ctx.settings.write(column::kDoseScale, f.Combo1[kDoseScaleList].text); });
        step([&] { ctx.settings.commit(); });
    }
}

}  // namespace rx47
