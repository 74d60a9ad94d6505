// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm sound: "RX47.wav" from the program folder, played to its end while the program keeps
// serving its events (timer ticks, clicks and serial data run inside the wait).
//
// The wait always ends: when the player reports the end, at once when the playback cannot start,
// and by a watchdog (the file's length plus a margin) when the player never reports anything, as a
// player without an audio output does.
//
// A second playAlarmSound while one waits (the settings dialog's sound test during an alarm sound,
// or a new alarm raised inside the wait) starts the sound again from the beginning; both waits end
// when that playback ends, the inner one first.
#pragma once

#include <chrono>

namespace rx47 {

struct SoundContext;

/// Added to the file's playing time before the watchdog ends a wait the player never ended. Generous:
/// a sound server may hold the first part of a sound for a couple of seconds before it is heard.
inline constexpr std::chrono::milliseconds kSoundWatchdogMargin{5000};
/// The playing time assumed when the player does not know it.
inline constexpr std::chrono::milliseconds kSoundUnknownLength{30000};
/// The longest single wait for events, so the watchdog is looked at often enough.
inline constexpr std::chrono::milliseconds kSoundWaitSlice{100};

/// Plays the alarm sound and returns when it has ended. Without the file it returns at once.
void playAlarmSound(SoundContext ctx);

/// The player's completion handler: stop, rewind and close the player; the sound has finished.
void alarmSoundFinished(SoundContext ctx);

}  // namespace rx47
