// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's colour swatches: a click picks a colour, which goes on the swatch, into the
// swatch's column and onto the elements of the main window's graph drawn in it, in that order.
#include <cstdint>

#include "base/failure.h"
#include "display/graph_colours.h"
#include "model/context.h"
#include "platform/desktop.h"
#include "setup/setup.h"
#include "storage/settings_row.h"

namespace rx47::setup {

GraphColour swatchColour(int index) {
    switch (index) {
        case kBarColourSwatch:
            return GraphColour::Bars;
        case kAlarmLineColourSwatch:
            return GraphColour::AlarmLine;
        default:
            return GraphColour::Dose;
    }
}

void Label1_Click(SetupContext ctx, SetupForm& form, int index) {
    if (!isSwatch(index)) return;
    LabelControl& swatch = form.Label1[index];
    if (!swatch.enabled) return;  // a disabled swatch cannot be clicked
    const GraphColour colour = swatchColour(index);
    const ColourColumn column = colourColumn(colour);

    // The first failure ends the click; what was done before it stays done. A cancelled pick
    // changes nothing.
    step([&] {
        const auto picked = ctx.desktop.pickColour();
        if (!picked) return;
        swatch.backColour = *picked;
        ctx.settings.write(column, std::int64_t{*picked});
        ctx.settings.commit();
        recolour(ctx.form, colour, static_cast<Colour>(ctx.settings.int32(column)));
    });
}

}  // namespace rx47::setup
