// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/scales.h"

#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "display/alarm_line.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

struct CpmScale {
    const char* text;
    std::int16_t factor;
};
constexpr CpmScale kCpmScaleTable[] = {{"50", 120}, {"100", 60}, {"200", 30}, {"500", 12}};

struct DoseScale {
    double fullScale;
    const char* labels[graph::kDoseValues.size()];  // from the top down
    float factor;
};
constexpr DoseScale kDoseScaleTable[] = {
    {0.2, {"0.200", "0.166", "0.133", "0.100", "0.066", "0.033"}, 30000},
    {0.3, {"0.300", "0.250", "0.200", "0.150", "0.100", "0.050"}, 20000},
    {0.4, {"0.400", "0.333", "0.266", "0.200", "0.133", "0.066"}, 15000},
    {0.5, {"0.500", "0.416", "0.333", "0.250", "0.166", "0.083"}, 12000},
    {0.6, {"0.600", "0.500", "0.400", "0.300", "0.200", "0.100"}, 10000},
};

}  // namespace

void applyCpmScale(DisplayContext ctx) {
    const std::string& s = ctx.form.Combo1[kCpmScaleList].text;
    for (const CpmScale& scale : kCpmScaleTable) {
        if (s != scale.text) continue;
        const int fullScale = static_cast<int>(readNumber(scale.text));
        constexpr int steps = graph::kCpmValues.size();
        for (int k = 0; k < steps; ++k)
            ctx.form.lbl[graph::kCpmValues.at(k)].caption = std::to_string(fullScale * (k + 1) / steps);
        ctx.values.cpmScaleFactor = scale.factor;
        break;
    }
    updateCpmAlarmLine(ctx, AlarmLineChange::ScaleApplied);
}

void applyDoseScale(DisplayContext ctx) {
    const double v = captionValue(ctx.form.Combo1[kDoseScaleList].text);
    for (const DoseScale& scale : kDoseScaleTable) {
        if (v != scale.fullScale) continue;
        for (int k = 0; k < graph::kDoseValues.size(); ++k)
            ctx.form.lbl[graph::kDoseValues.last - k].caption = scale.labels[k];
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
