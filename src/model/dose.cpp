// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/dose.h"

#include "model/quantities.h"

namespace rx47 {

std::string doseText(std::int32_t cpm, std::uint16_t gammaCoefficient) {
    return DoseRate::of(Cpm(cpm), gammaCoefficient).truncatedText();
}

std::string padDoseText(std::string text) {
    if (text.size() >= 5 || text.find_first_of("eE") != std::string::npos) return text;
    if (text.find('.') == std::string::npos) text += '.';
    while (text.size() < 5) text += '0';
    return text;
}

}  // namespace rx47
