// The intake of received text (tick of the intake timer): status-report tags fill the gamma
// coefficient, the CPM alarm level and the total count; otherwise the text is a reading, accepted
// or rejected, shown as real-time CPM and dose and evaluated against the alarm levels.
#pragma once

#include <string>
#include <string_view>

namespace rx47 {

struct Context;

/// One tick of the intake timer.
void intakeTick(Context& ctx);

/// The number of the (at most) nine characters that follow the first occurrence of a tag; nullopt-
/// like 'found' false when the text has no such tag.
struct TagValue {
    bool found = false;
    double value = 0;
};
TagValue tagValue(std::string_view text, std::string_view tag);

}  // namespace rx47
