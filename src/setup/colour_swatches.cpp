// The settings dialog's colour swatches: a click picks a colour, which goes on the swatch, into the
// swatch's column and onto the matching elements of the main window's graph, in that order.
#include <cstdint>

#include "base/failure.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"
#include "platform/desktop.h"
#include "setup/setup.h"
#include "storage/settings_row.h"

namespace rx47::setup {

namespace {

const char* columnOf(int swatch) {
    switch (swatch) {
        case kBarColourSwatch:
            return "graphcolor";
        case kAlarmLineColourSwatch:
            return "warnlinecolor";
        default:
            return "linecolor";
    }
}

/// The main window's elements drawn in the colour of `swatch`, in the order they are recoloured.
void recolourMainWindow(MainForm& f, int swatch, Colour c) {
    switch (swatch) {
        case kBarColourSwatch:
            for (int i = 0; i <= graph::kPeakBar; ++i) {
                f.tgt[i].backColour = c;
                f.tgt[i].foreColour = c;
            }
            for (int i = 0; i <= 10; ++i) f.lbl[i].foreColour = c;
            for (int i = 2; i <= 6; ++i) f.lne[i].colour = c;
            break;
        case kAlarmLineColourSwatch:
            f.lne[kAlarmLine].colour = c;
            break;
        default:
            for (auto& segment : f.bar) segment.colour = c;
            for (int i = 11; i <= 17; ++i) f.lbl[i].foreColour = c;
            for (int i = 8; i <= 12; ++i) f.lne[i].colour = c;
            f.tgt[graph::kPeakMarker].foreColour = c;
            break;
    }
}

}  // namespace

void Label1_Click(Context& ctx, SetupForm& form, int index) {
    if (!isSwatch(index)) return;
    LabelControl& swatch = form.Label1[index];
    if (!swatch.enabled) return;  // a disabled swatch cannot be clicked
    const char* column = columnOf(index);

    // The first failure ends the click; what was done before it stays done. A cancelled pick
    // changes nothing.
    step([&] {
        const auto picked = ctx.desktop.pickColour();
        if (!picked) return;
        swatch.backColour = *picked;
        ctx.settings.write(column, std::int64_t{*picked});
        ctx.settings.commit();
        recolourMainWindow(ctx.form, index, static_cast<Colour>(ctx.settings.int32(column)));
    });
}

}  // namespace rx47::setup
