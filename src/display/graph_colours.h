// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The graph's three colour settings and the elements of the main window drawn in each: one table for
// start-up and for the settings dialog's swatches alike.
#pragma once

#include "base/number.h"
#include "storage/settings_columns.h"

namespace rx47 {

struct MainForm;

enum class GraphColour {
    Bars,       ///< the bars, the peak bar, the CPM scale and its grid
    Dose,       ///< the dose polyline, the "*" marker, the dose scale and its grid
    AlarmLine,  ///< the CPM alarm line
};
inline constexpr GraphColour kGraphColours[] = {GraphColour::Bars, GraphColour::Dose, GraphColour::AlarmLine};

/// The settings column that keeps a colour.
ColourColumn colourColumn(GraphColour colour);

/// Gives every element of the main window drawn in `colour` the value `c`.
void recolour(MainForm& form, GraphColour colour, Colour c);

}  // namespace rx47
