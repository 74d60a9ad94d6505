// The fonts of the window models on this desktop. The layout was drawn for "ＭＳ Ｐゴシック"; IPAPGothic
// has the same metrics, so the design font name is mapped to it, here and nowhere else, for the main
// window and the settings dialog alike.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QString>

#include "model/controls.h"

namespace rx47 {

inline constexpr const char* kSubstituteFont = "IPAPGothic";

/// Maps the design font name to IPAPGothic, unless it is mapped already. Safe to call more than
/// once; every view calls it before it sets a font.
void installFontSubstitutions();

/// Maps the design font name to `family` in place of any earlier mapping (a test lays the windows
/// out in another Japanese font).
void substituteDesignFont(const QString& family);

/// The Qt font of a control; a font without a name is the window's own font.
QFont qtFont(const Font& font, const Font& windowFont);

/// How a label's caption is drawn into its rectangle of `height` pixels: aligned as the model says,
/// from the top as designed. A font whose line is taller than the label (Noto Sans CJK's, whose line
/// leaves more room above its glyphs than the design font's) is centred instead, so that the text
/// keeps its descenders. A label without a background of its own may show its text past its edges
/// (the time labels are narrower than theirs); one with a background keeps it inside.
int labelTextFlags(const LabelControl& label, const QFontMetrics& metrics, int height);

}  // namespace rx47
