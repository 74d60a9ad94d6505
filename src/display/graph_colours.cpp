// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/graph_colours.h"

#include "model/main_form.h"

namespace rx47 {

namespace {

/// The colour property of a control that a setting sets.
enum class Part { BarFill, BarText, ScaleText, Line, Segment };

struct Target {
    GraphColour colour;
    Part part;
    InclusiveRange controls;
};

constexpr Target kTargets[] = {
    {GraphColour::Bars, Part::BarFill, graph::kBars},
    {GraphColour::Bars, Part::BarText, graph::kBars},
    {GraphColour::Bars, Part::ScaleText, graph::kCpmScaleTexts},
    {GraphColour::Bars, Part::Line, graph::kCpmGrid},
    {GraphColour::Dose, Part::Segment, {0, graph::kSegments - 1}},
    {GraphColour::Dose, Part::ScaleText, graph::kDoseScaleTexts},
    {GraphColour::Dose, Part::Line, graph::kDoseGrid},
    {GraphColour::Dose, Part::BarText, {graph::kPeakMarker, graph::kPeakMarker}},
    {GraphColour::AlarmLine, Part::Line, {kAlarmLine, kAlarmLine}},
};

Colour& property(MainForm& f, Part part, int i) {
    switch (part) {
        case Part::BarFill:
            return f.tgt[i].backColour;
        case Part::BarText:
            return f.tgt[i].foreColour;
        case Part::ScaleText:
            return f.lbl[i].foreColour;
        case Part::Line:
            return f.lne[i].colour;
        case Part::Segment:
            break;
    }
    return f.bar[i].colour;
}

}  // namespace

ColourColumn colourColumn(GraphColour colour) {
    switch (colour) {
        case GraphColour::Bars:
            return column::kBarColour;
        case GraphColour::AlarmLine:
            return column::kAlarmLineColour;
        case GraphColour::Dose:
            break;
    }
    return column::kDoseColour;
}

void recolour(MainForm& form, GraphColour colour, Colour c) {
    for (const Target& target : kTargets)
        if (target.colour == colour)
            for (int i : target.controls) property(form, target.part, i) = c;
}

}  // namespace rx47
