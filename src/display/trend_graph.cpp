// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/trend_graph.h"

#include <algorithm>
#include <cstdio>

#include "base/failure.h"
#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "model/quantities.h"
#include "platform/clock.h"

namespace rx47 {

namespace {

/// A time-axis label: the hour and the ten minutes of a ten-minute mark ("09:40").
std::string axisLabelText(int hour, int tens) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%d0", hour, tens);
    return buffer;
}

double doseOf(DisplayContext ctx, double value) {
    Cpm cpm(0);
    step([&] { cpm = Cpm::roundedHalfEven(value); });
    // With no coefficient known yet the point lies on the base line. Drawing never decides that the
    // device is missing: the intake's and the minute update's dose captions do, as their own step.
    if (ctx.values.gammaCoefficient == 0) return 0;
    return DoseRate::of(cpm, ctx.values.gammaCoefficient).value();
}

}  // namespace

double captionValue(const std::string& caption) {
    try {
        return readNumber(caption);
    } catch (const Failure&) {
        return 0;
    }
}

void setBarHeight(DisplayContext ctx, LabelControl& bar, double value) {
    const Twips height =
        std::min(TwipLength::roundedHalfEven(value * ctx.values.cpmScaleFactor).twips(), graph::kFullHeight);
    bar.geometry.height = height;
    bar.geometry.top = graph::kBaseY - height;
}

void placePeakMarker(DisplayContext ctx) {
    constexpr Twips kAbovePoint = 60;
    constexpr Twips kLowestTop = 5940;
    const double top = graph::kBaseY - ctx.state.doseScaleFactor * doseOf(ctx, ctx.state.maxCpm) - kAbovePoint;
    ctx.form.tgt[graph::kPeakMarker].geometry.top = TwipLength::truncated(std::min<double>(top, kLowestTop)).twips();
}

void relabelTimeAxis(DisplayContext ctx) {
    const LocalDateTime now = ctx.clock.now();
    int h = now.hour;
    int t = now.minute / 10;
    const int u = now.minute % 10;
    if (++t == 6) t = 0, ++h;
    if (h == 24) h = 0;
    auto& tme = ctx.form.tme;
    constexpr int first = graph::kTimeLabels.first;
    constexpr int last = graph::kTimeLabels.last;
    tme[last].caption = axisLabelText(h, t);
    for (int k = last - 1; k >= first; --k) {
        if (--t == -1) t = 5, --h;
        if (h == -1) h = 23;
        tme[k].caption = axisLabelText(h, t);
    }
    for (int k : graph::kTimeLabels) tme[k].geometry.left = graph::timeLabelLeft(k, u);
    for (int k : graph::kInnerTimeLabels) tme[k].visible = true;
    const bool firstShown = tme[first].geometry.left >= graph::kTimeLabelsFrom;
    tme[first].visible = firstShown;
    tme[last].visible = !firstShown;
}

void showBarValue(DisplayContext ctx, int index, const std::string& caption) {
    LabelControl& bar = ctx.form.tgt[index];
    const double value = captionValue(caption);
    bar.caption = caption;
    step([&] { setBarHeight(ctx, bar, value); });
    bar.visible = value != 0;
}

int dosePointY(DisplayContext ctx, const std::string& caption) {
    const double y = graph::kBaseY - ctx.state.doseScaleFactor * doseOf(ctx, captionValue(caption));
    return TwipLength::roundedHalfEven(std::max<double>(y, graph::kTopY)).twips();
}

void scrollBars(DisplayContext ctx) {
    for (int i = 0; i < graph::kNewest; ++i) showBarValue(ctx, i, ctx.form.tgt[i + 1].caption);
}

void drawDoseSegments(DisplayContext ctx) {
    auto& f = ctx.form;
    for (int i = 0; i < graph::kSegments; ++i) {
        if (f.tgt[i].visible && f.tgt[i + 1].visible) {
            step([&] {
                f.bar[i].y1 = dosePointY(ctx, f.tgt[i].caption);
                f.bar[i].y2 = dosePointY(ctx, f.tgt[i + 1].caption);
                f.bar[i].visible = true;
            });
        }
    }
}

void clearNewestBar(DisplayContext ctx) {
    LabelControl& bar = ctx.form.tgt[graph::kNewest];
    bar.geometry.height = 0;
    bar.caption = "0";
    bar.visible = false;
}

void hideBrokenSegments(DisplayContext ctx) {
    auto& f = ctx.form;
    for (int i = 0; i < graph::kSegments; ++i)
        if (!f.tgt[i].visible || !f.tgt[i + 1].visible) f.bar[i].visible = false;
}

void setNewestBar(DisplayContext ctx, std::int32_t value) {
    showBarValue(ctx, graph::kNewest, decimalText(value));
    step([&] {
        const double y = graph::kBaseY - ctx.state.doseScaleFactor * doseOf(ctx, value);
        ctx.form.bar[graph::kSegments - 1].y2 = TwipLength::truncated(std::max<double>(y, graph::kTopY)).twips();
    });
}

void movePeakMarkers(DisplayContext ctx, std::int32_t value) {
    auto& f = ctx.form;
    step([&] { setBarHeight(ctx, f.tgt[graph::kPeakBar], value); });
    step([&] { placePeakMarker(ctx); });
    const bool shown = captionValue(f.Label[kMaxCpm].caption) != 0;
    f.tgt[graph::kPeakBar].visible = shown;
    f.tgt[graph::kPeakMarker].visible = shown;
}

}  // namespace rx47
