// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The one place the window models become Qt's: twips to pixels, colours, texts, alignments and fonts.
// The main window, the settings dialog, the splash and the history viewer all convert through here.
//
// The layout was drawn for "ＭＳ Ｐゴシック"; IPAPGothic has the same metrics, so the design font name is
// mapped to it, here and nowhere else, for the main window and the settings dialog alike.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPointF>
#include <QRect>
#include <QString>
#include <filesystem>
#include <string>

#include "model/controls.h"
#include "model/quantities.h"

class QPaintDevice;

namespace rx47 {

/// Twips to pixels at a screen's logical DPI (15 twips a pixel at 96 dpi), each rounded to the
/// nearest pixel (TwipLength::toPixels).
class TwipScale {
public:
    explicit TwipScale(double logicalDpi) : logicalDpi_(logicalDpi), pixelsPerTwip_(logicalDpi / 1440.0) {}
    /// The scale of a widget's (or any paint device's) screen.
    static TwipScale of(const QPaintDevice& device);

    double pixelsPerTwip() const { return pixelsPerTwip_; }
    int px(Twips t) const;
    QPointF point(Twips x, Twips y) const { return QPointF(px(x), px(y)); }
    /// The pixels a model geometry covers: its edges are converted, so that neighbours stay neighbours.
    QRect rect(const Geometry& g) const;
    /// The pen width of a line drawn `width` pixels wide at 96 dpi (never less than one pixel).
    int penWidth(int width) const;

private:
    double logicalDpi_;
    double pixelsPerTwip_;
};

/// A model colour (0x00BBGGRR).
QColor qtColour(Colour c);
/// The program's texts are UTF-8.
QString qtText(const std::string& text);
std::string stdText(const QString& text);
QString qtPath(const std::filesystem::path& path);

Qt::Alignment qtAlignment(Align align);

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
