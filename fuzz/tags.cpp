// The status-report tags over any text: a tag is found exactly when the text holds it, its value is
// the number of the nine characters after its first occurrence (what stands before the tag or after
// those nine characters changes nothing), and nothing but an overflow fails.
#include <cmath>
#include <cstdint>
#include <string>

#include "base/failure.h"
#include "device/intake.h"
#include "harness.h"

namespace {

bool valueOf(std::string_view text, std::string_view tag, rx47::TagValue& result) {
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
        rx47::TagValue found;
        const bool fits = valueOf(text, tag, found);
        const auto at = text.find(tag);
        if (!fits) {
            FUZZ_CHECK(at != std::string_view::npos, "an overflow without a tag");
            continue;
        }
        FUZZ_CHECK(found.found == (at != std::string_view::npos), "found %d for a text that %s the tag", found.found,
                   at == std::string_view::npos ? "lacks" : "holds");
        FUZZ_CHECK(std::isfinite(found.value), "value %g", found.value);
        if (!found.found) {
            FUZZ_CHECK(found.value == 0, "a missing tag gave %g", found.value);
            continue;
        }
        rx47::TagValue cut;
        const bool cutFits = valueOf(text.substr(at, tag.size() + 9), tag, cut);
        const double cutValue = cutFits ? cut.value : 0.0;
        FUZZ_CHECK(cutFits && cut.found && cutValue == found.value,
                   "more than the nine characters after the tag counted: %.17g against %.17g", found.value, cutValue);
    }
    return 0;
}
