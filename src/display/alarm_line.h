// The CPM alarm-level line lne(7) across the graph.
#pragma once

namespace rx47 {

struct Context;

/// Moves the CPM alarm line to the height of the CPM alarm level on the current CPM scale. The
/// arithmetic is 16-bit: a height that does not fit throws Overflow and leaves the line where it was.
void placeCpmAlarmLine(Context& ctx);

}  // namespace rx47
