// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/shutdown.h"

#include "base/failure.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "monitor/alarm_sound.h"
#include "monitor/metrics_file.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

void Form_QueryUnload(Context& ctx) {
    // An alarm sound being awaited ends now: the program must not stay for the rest of the sound.
    step([&] { alarmSoundFinished(ctx); });
    bool compactionDue = false;
    step([&] { compactionDue = countExit(ctx.settings); });
    step([&] { ctx.settings.commit(); });
    step([&] { ctx.settings.close(); });
    step([&] { ctx.port.close(); });
    ctx.state.link = LinkState::Stopped;  // closed for good
    // The metrics file outlives the program: it says the counter is no longer watched and no alarm
    // shown, so that an alert on a lost counter fires and one on an alarm clears.
    step([&] { ctx.timers.stop(timer::kAlarmFlash); });
    writeMetricsFile(ctx);
    step([&] { ctx.desktop.removeTrayIcon(); });
    if (compactionDue) step([&] { compactSettingsDatabase(ctx.programFolder); });
}

}  // namespace rx47
