// The alarm sound: "RX47.wav" from the program folder, played to its end while the program keeps
// serving its events.
#pragma once

namespace rx47 {

struct Context;

inline constexpr const char* kAlarmSoundFile = "RX47.wav";

/// Plays the alarm sound and returns when it has ended. Without the file it returns at once.
void playAlarmSound(Context& ctx);

}  // namespace rx47
