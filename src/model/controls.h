// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The records a window model keeps for each kind of control. Geometry is in twips (15 per pixel at
// 96 dpi), x to the right and y downwards from the top left of the window's client area.
#pragma once

#include <string>
#include <vector>

#include "base/number.h"

namespace rx47 {

/// A coordinate or length in twips, kept apart from pixels: a view converts once (TwipLength::toPixels).
using Twips = int;

// The colours of both windows, each defined once here; a window names what it uses them for.
inline constexpr Colour kWhite = rgb(255, 255, 255);
inline constexpr Colour kBlack = rgb(0, 0, 0);
inline constexpr Colour kRed = rgb(0xFF, 0x00, 0x00);
inline constexpr Colour kGrey = rgb(0x80, 0x80, 0x80);
/// A button's colour while the pointer is over it (the main window's buttons, the sound test).
inline constexpr Colour kHoverGrey = rgb(0xC0, 0xC0, 0xC0);
/// The dark red of a line the user must read: the main window's notice, the settings dialog's note
/// about an old settings file.
inline constexpr Colour kNoteRed = rgb(0xC0, 0x00, 0x00);

struct Geometry {
    Twips left = 0;
    Twips top = 0;
    Twips width = 0;
    Twips height = 0;

    bool operator==(const Geometry&) const = default;
};

enum class Align { Left, Right, Centre };

/// The font the windows were designed with; the views map it to a metric-compatible font.
inline constexpr const char* kDesignFont = "ＭＳ Ｐゴシック";

struct Font {
    std::string name;  ///< empty: the window's default font
    double points = 9;
    bool bold = false;

    bool operator==(const Font&) const = default;
};

/// A label (and the bar and marker labels of the graph).
struct LabelControl {
    std::string caption;
    bool visible = true;
    bool enabled = true;
    Colour backColour = kWhite;
    Colour foreColour = kBlack;
    bool transparent = false;  ///< no background of its own
    bool border = false;       ///< a thin black frame (the lamps)
    Align align = Align::Left;
    Font font;
    std::string toolTip;
    Geometry geometry;

    bool operator==(const LabelControl&) const = default;
};

/// A straight line from (x1, y1) to (x2, y2).
struct LineControl {
    Twips x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour = kBlack;
    int width = 1;
    bool dotted = false;
    bool visible = true;

    bool operator==(const LineControl&) const = default;
};

struct ButtonControl {
    std::string caption;
    bool visible = true;
    bool enabled = true;
    Colour backColour = kWhite;
    std::string toolTip;
    Geometry geometry;

    bool operator==(const ButtonControl&) const = default;
};

/// One option button of a pair; exactly one of a pair has value true. Its geometry is in window
/// coordinates like every other control's, also when it sits in a frame.
struct OptionControl {
    std::string caption;
    bool value = false;
    bool enabled = true;
    Geometry geometry;

    bool operator==(const OptionControl&) const = default;
};

/// A borderless frame that holds one pair of option buttons, so that each pair chooses on its own.
struct FrameControl {
    Colour backColour = kWhite;
    Geometry geometry;

    bool operator==(const FrameControl&) const = default;
};

/// A combo box: its list, the selected index (-1 for none) and the text of its edit part. A drop-down
/// list (not editable) only takes one of its entries; an editable one also takes typed text.
struct ComboControl {
    std::vector<std::string> items;
    int listIndex = -1;
    std::string text;
    bool editable = false;
    bool enabled = true;
    Geometry geometry;

    bool operator==(const ComboControl&) const = default;
};

/// Picks entry `index` of a combo's list, as the user's choice does before its click handler runs.
/// An index outside the list changes nothing.
inline void pickEntry(ComboControl& combo, int index) {
    if (index < 0 || index >= static_cast<int>(combo.items.size())) return;
    combo.listIndex = index;
    combo.text = combo.items[index];
}

/// A filled or framed rectangle.
struct ShapeControl {
    bool visible = true;
    Colour backColour = kWhite;
    Colour borderColour = kBlack;
    Geometry geometry;

    bool operator==(const ShapeControl&) const = default;
};

struct ImageControl {
    bool visible = true;
    std::string toolTip;
    bool ownPointer = false;  ///< shows the program's own mouse pointer while the mouse is over it
    Geometry geometry;

    bool operator==(const ImageControl&) const = default;
};

}  // namespace rx47
