// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The trend graph: 81 per-minute bars tgt(0…80) (newest at the right), the dose polyline bar(0…79)
// over them, the time axis tme(0…9) and the peak bar tgt(81) with the peak-dose marker tgt(82).
// The bar captions are the graph's only store of the past values. Its roles and geometry are
// graph:: beside MainForm.
#pragma once

#include <cstdint>
#include <string>

#include "model/main_form.h"

namespace rx47 {

struct DisplayContext;

/// Time labels for the local time of day: tme(9) is the next ten-minute mark.
void relabelTimeAxis(DisplayContext ctx);
/// Every slot takes the value of the slot to its right; heights follow the current scale.
void scrollBars(DisplayContext ctx);
/// Joins every pair of shown neighbouring bars with a dose segment.
void drawDoseSegments(DisplayContext ctx);
/// Empties the newest slot (while the data link is stopped).
void clearNewestBar(DisplayContext ctx);
/// Hides the segments that no longer join two shown bars.
void hideBrokenSegments(DisplayContext ctx);
/// Puts a value into the newest slot and ends the last segment at its dose.
void setNewestBar(DisplayContext ctx, std::int32_t value);
/// Moves the peak bar and the peak-dose marker to a new maximum.
void movePeakMarkers(DisplayContext ctx, std::int32_t value);

/// Shows a value in bar `index` on the current CPM scale (height capped at full scale).
void showBarValue(DisplayContext ctx, int index, const std::string& caption);
/// Gives a bar the height of a value on the current CPM scale, capped at full scale, standing on
/// the base line. Throws Overflow when the height does not fit; the bar then keeps its height.
void setBarHeight(DisplayContext ctx, LabelControl& bar, double value);
/// Puts the peak-dose marker at the dose of the maximum, 60 twips above it, never below 5940.
void placePeakMarker(DisplayContext ctx);
/// The number of a caption; a caption that is not a number counts as 0.
double captionValue(const std::string& caption);
/// The y of a slot's dose point for a bar value (rounded halves to even, never above full scale).
int dosePointY(DisplayContext ctx, const std::string& caption);

}  // namespace rx47
