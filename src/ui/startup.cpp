// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/startup.h"

#include <string>

#include "base/failure.h"
#include "display/graph_colours.h"
#include "display/scales.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/graph_scales.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/link.h"
#include "monitor/notices.h"
#include "monitor/timer_schedule.h"
#include "platform/clock.h"
#include "platform/timer_array.h"
#include "storage/records.h"
#include "storage/settings_row.h"
#include "ui/window_mode.h"

namespace rx47 {

namespace {

void selectEqualEntry(ComboControl& combo, const std::string& text) {
    for (std::size_t i = 0; i < combo.items.size(); ++i) {
        if (combo.items[i] == text) {
            combo.listIndex = static_cast<int>(i);
            combo.text = text;
            return;
        }
    }
}

void applyColours(Context& ctx) {
    MainForm& f = ctx.form;
    for (int i : graph::kBars) {
        f.tgt[i].caption = "0";
        f.tgt[i].geometry.height = 0;
        f.tgt[i].visible = false;
    }
    for (auto& b : f.bar) b.visible = false;
    for (GraphColour colour : kGraphColours)
        step([&] { recolour(f, colour, static_cast<Colour>(ctx.settings.int32(colourColumn(colour)))); });
}

}  // namespace

void Form_Load(Context& ctx) {
    MainForm& f = ctx.form;
    MonitorState& s = ctx.state;

    ctx.values.versionText = kVersionText;
    f.Image1[kLogo].toolTip = " RX47 monitor  version " + ctx.values.versionText + " ";
    // The monitor state starts as declared: loading, the device taken to be present, no minimum yet,
    // the lamps' next blinks bright, no button under the pointer, every count 0.
    s = MonitorState{};
    step([&] { ctx.settings.open(ctx.programFolder); });
    ctx.values.soundFinished = false;

    step([&] { startUpConnection(ctx); });
    applyColours(ctx);

    for (const CpmScale& scale : kCpmScales) f.Combo1[kCpmScaleList].items.emplace_back(scale.text);
    step([&] { selectEqualEntry(f.Combo1[kCpmScaleList], ctx.settings.text(column::kCpmScale)); });
    for (const DoseScale& scale : kDoseScales) f.Combo1[kDoseScaleList].items.emplace_back(scale.text());
    step([&] { selectEqualEntry(f.Combo1[kDoseScaleList], ctx.settings.text(column::kDoseScale)); });

    stepIf([&] { return ctx.settings.isTrue(column::kBuzzer); },
           [&] { f.Option2[kBuzzerOnOption].value = true, f.Option2[kBuzzerOffOption].value = false; },
           [&] { f.Option2[kBuzzerOnOption].value = false, f.Option2[kBuzzerOffOption].value = true; });

    setUpTimers(ctx);
    step([&] { applyCpmScale(ctx); });
    step([&] { applyDoseScale(ctx); });
    ctx.timers.start(timer::kSplash);

    chooseStartWindowMode(ctx);

    s.monthFolder = monthFolderName(ctx.clock.now());
    try {
        createRecordFolders(ctx.programFolder, s.monthFolder);
    } catch (const FileError& e) {
        recordsFailed(ctx, e.what(), true);
    } catch (const Failure& e) {
        recordsFailed(ctx, e.what(), false);
    }
}

void Form_Activate(UiContext ctx) {
    ctx.state.isLoading = false;
}

}  // namespace rx47
