// Alarm evaluation after every accepted reading, and the alarm flash.
#pragma once

#include <string>

namespace rx47 {

struct Context;

/// Evaluates the CPM and dose alarm levels for an accepted reading and its dose text.
void evaluateAlarms(Context& ctx, double reading, const std::string& doseText);

/// Tick of the alarm-flash timer.
void alarmFlashTick(Context& ctx);

}  // namespace rx47
