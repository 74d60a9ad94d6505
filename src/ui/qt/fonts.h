// The fonts of the window model on this desktop. The layout was drawn for "ＭＳ Ｐゴシック"; IPAPGothic
// has the same metrics, so the design font name is mapped to it once per program.
#pragma once

#include <QFont>

#include "model/controls.h"

namespace rx47 {

inline constexpr const char* kSubstituteFont = "IPAPGothic";

/// Maps the design font name to IPAPGothic. Safe to call more than once.
void installFontSubstitutions();

/// The Qt font of a control; a font without a name is the window's own font.
QFont qtFont(const Font& font, const Font& windowFont);

}  // namespace rx47
