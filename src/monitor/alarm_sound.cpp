#include "monitor/alarm_sound.h"

namespace rx47 {

// Not built yet: no sound.
void playAlarmSound(Context&) {}

}  // namespace rx47
