// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/shutdown.h"

#include "base/failure.h"
#include "model/context.h"
#include "monitor/alarm_sound.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
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
    step([&] { ctx.desktop.removeTrayIcon(); });
    if (compactionDue) step([&] { compactSettingsDatabase(ctx.programFolder); });
}

}  // namespace rx47
