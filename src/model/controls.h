// The records a window model keeps for each kind of control. Geometry is in twips (15 per pixel at
// 96 dpi), x to the right and y downwards from the top left of the window's client area.
#pragma once

#include <string>
#include <vector>

#include "base/number.h"

namespace rx47 {

/// A coordinate or length in twips. Kept apart from pixels so that a view converts exactly once.
using Twips = int;

inline constexpr Colour kWhite = rgb(255, 255, 255);
inline constexpr Colour kBlack = rgb(0, 0, 0);

struct Geometry {
    Twips left = 0;
    Twips top = 0;
    Twips width = 0;
    Twips height = 0;
};

enum class Align { Left, Right, Centre };

struct Font {
    std::string name;  ///< empty: the window's default font
    double points = 9;
    bool bold = false;
};

/// A label (and the bar and marker labels of the graph).
struct LabelControl {
    std::string caption;
    bool visible = true;
    bool enabled = true;
    Colour backColour = kWhite;
    Colour foreColour = kBlack;
    bool transparent = false;
    Align align = Align::Left;
    Font font;
    std::string toolTip;
    Geometry geometry;
};

/// A straight line from (x1, y1) to (x2, y2).
struct LineControl {
    Twips x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    Colour colour = kBlack;
    int width = 1;
    bool dotted = false;
    bool visible = true;
};

struct ButtonControl {
    std::string caption;
    bool visible = true;
    bool enabled = true;
    Colour backColour = rgb(0xEC, 0xE9, 0xD8);
    std::string toolTip;
    Geometry geometry;
};

/// One option button of a pair; exactly one of a pair has value true.
struct OptionControl {
    std::string caption;
    bool value = false;
    bool enabled = true;
    Geometry geometry;
};

/// A combo box: its list, the selected index (-1 for none) and the text of its edit part.
struct ComboControl {
    std::vector<std::string> items;
    int listIndex = -1;
    std::string text;
    bool enabled = true;
    Geometry geometry;
};

/// A filled or framed rectangle.
struct ShapeControl {
    bool visible = true;
    Colour backColour = kWhite;
    Colour borderColour = kBlack;
    Geometry geometry;
};

struct ImageControl {
    bool visible = true;
    std::string toolTip;
    Geometry geometry;
};

}  // namespace rx47
