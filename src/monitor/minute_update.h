// The per-minute update: at the first tick of each new clock minute the readings of the past minute
// become the minute's CPM, the maximum, the minimum and the running average, each with its dose;
// the graph moves on one slot, the device is asked for a status report, and the minute is recorded.
#pragma once

namespace rx47 {

struct Context;

/// Tick of the one-second timer. Does nothing unless the clock minute has changed.
void minuteUpdate(Context& ctx);

}  // namespace rx47
