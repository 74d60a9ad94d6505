// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/alarm_sound.h"

#include <algorithm>
#include <filesystem>

#include "base/failure.h"
#include "base/log.h"
#include "base/number.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "monitor/notices.h"
#include "platform/event_pump.h"
#include "platform/wave_player.h"
#include "storage/program_folder.h"
#include "storage/settings_row.h"

namespace rx47 {

void alarmSoundFinished(SoundContext ctx) {
    step([&] { ctx.player.stop(); });
    step([&] { ctx.player.rewind(); });
    step([&] { ctx.player.close(); });
    ctx.values.soundFinished = true;
}

void playAlarmSound(SoundContext ctx) {
    const std::filesystem::path file = ctx.programFolder / kAlarmSoundFile;
    if (!fileExists(file)) {
        soundFailed(ctx, file.string() + " does not exist", true);
        return;
    }

    ctx.values.soundFinished = false;
    ctx.player.setCompletionHandler([ctx] { alarmSoundFinished(ctx); });
    try {
        ctx.player.open(file);
        ctx.player.play();
        soundPlays(ctx);
    } catch (const Failure& e) {
        soundFailed(ctx, e.what(), false);
        // No completion will come for a playback that never started. Closing the player also ends
        // a wait this call is nested in: its playback was replaced by this one.
        alarmSoundFinished(ctx);
        return;
    }

    std::chrono::milliseconds length = kSoundUnknownLength;
    step([&] {
        if (const auto known = ctx.player.length(); known > std::chrono::milliseconds::zero()) length = known;
    });
    const std::chrono::milliseconds deadline = ctx.pump.now() + length + kSoundWatchdogMargin;

    while (!ctx.values.soundFinished) {
        const std::chrono::milliseconds left = deadline - ctx.pump.now();
        if (left <= std::chrono::milliseconds::zero()) {
            // The player never said: end the playback as its completion would.
            alarmSoundFinished(ctx);
            break;
        }
        ctx.pump.processEvents(std::min(left, kSoundWaitSlice));
    }
}

}  // namespace rx47
