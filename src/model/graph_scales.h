// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The trend graph's two scales: the entries of their lists in Combo1 and the value labels each puts
// on its axis. The window is designed with one of each; start-up applies the chosen ones.
#pragma once

#include <cstdint>
#include <string>

#include "model/main_form.h"

namespace rx47 {

/// A CPM scale: its list entry, the full scale in counts per minute, and the bars' twips per count.
struct CpmScale {
    const char* text;
    std::int16_t factor;
};
inline constexpr CpmScale kCpmScales[] = {{"50", 120}, {"100", 60}, {"200", 30}, {"500", 12}};
inline constexpr const CpmScale& kDesignCpmScale = kCpmScales[1];

/// Value label k of the CPM axis (bottom up) on a scale of `fullScale` counts per minute.
inline std::string cpmValueText(int fullScale, int k) {
    return std::to_string(fullScale * (k + 1) / graph::kCpmValues.size());
}

/// A dose-rate scale: the value labels of its axis from the top down, the first (the full scale in
/// μSv/h) being its list entry, and the polyline's twips per μSv/h.
struct DoseScale {
    const char* labels[graph::kDoseValues.size()];
    float factor;

    constexpr const char* text() const { return labels[0]; }
    /// Value label k of the axis, bottom up.
    constexpr const char* valueText(int k) const { return labels[graph::kDoseValues.size() - 1 - k]; }
};
inline constexpr DoseScale kDoseScales[] = {
    {{"0.200", "0.166", "0.133", "0.100", "0.066", "0.033"}, 30000},
    {{"0.300", "0.250", "0.200", "0.150", "0.100", "0.050"}, 20000},
    {{"0.400", "0.333", "0.266", "0.200", "0.133", "0.066"}, 15000},
    {{"0.500", "0.416", "0.333", "0.250", "0.166", "0.083"}, 12000},
    {{"0.600", "0.500", "0.400", "0.300", "0.200", "0.100"}, 10000},
};
inline constexpr const DoseScale& kDesignDoseScale = kDoseScales[2];

}  // namespace rx47
