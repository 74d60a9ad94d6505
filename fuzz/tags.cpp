// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The status-report tags over any text: a tag is found exactly when the text holds it, its value is
// the number of the nine characters after its first occurrence (what stands before the tag or after
// those nine characters changes nothing), and nothing but an overflow fails.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

#include "base/failure.h"
#include "device/received.h"
#include "harness.h"

namespace {

bool valueOf(std::string_view text, std::string_view tag, std::optional<double>& result) {
    try {
        result = rx47::tagValue(text, tag);
        return true;
    } catch (const rx47::Overflow&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = rx47::fuzz::textOf(data, size);
    for (const std::string_view tag : {"gms:", "atc:", "ttc:"}) {
        std::optional<double> found;
        const bool fits = valueOf(text, tag, found);
        const auto at = text.find(tag);
        if (!fits) {
            FUZZ_CHECK(at != std::string_view::npos, "an overflow without a tag");
            continue;
        }
        FUZZ_CHECK(found.has_value() == (at != std::string_view::npos), "found %d for a text that %s the tag",
                   found.has_value(), at == std::string_view::npos ? "lacks" : "holds");
        if (!found) continue;
        FUZZ_CHECK(std::isfinite(*found), "value %g", *found);
        std::optional<double> cut;
        const bool cutFits = valueOf(text.substr(at, tag.size() + 9), tag, cut);
        const double cutValue = cutFits && cut ? *cut : 0.0;
        FUZZ_CHECK(cutFits && cut && cutValue == *found,
                   "more than the nine characters after the tag counted: %.17g against %.17g", *found, cutValue);
    }
    return 0;
}
