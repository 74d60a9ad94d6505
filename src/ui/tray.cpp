// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/tray.h"

#include "base/failure.h"
#include "base/log.h"
#include "model/context.h"
#include "model/main_form.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

bool trayHere(UiContext ctx) {
    constexpr const char* cause = "notification area";
    if (ctx.desktop.trayAvailable()) {
        ctx.log.clear(LogCategory::Program, cause, "the desktop has a notification area again");
        return true;
    }
    // Hidden with no icon to click, the window could not be brought back.
    ctx.log.fail(LogCategory::Program, cause,
                 "the desktop has no notification area: the window is minimised as usual, not hidden in it");
    return false;
}

void loadTaskIcon(UiContext ctx) {
    // A minimise within the half second after a restore finds the icon still there: it must stay,
    // or the window would be hidden with no way back.
    ctx.timers.stop(timer::kTrayIconRemoval);
    ctx.timers.setInterval(timer::kTrayIconRemoval, 500);
    // The owner's timer ticks into its own handler.
    ctx.trayIconTick = [](Context& whole) { taskicon_TimerTick(whole); };
    if (!ctx.desktop.trayIconShown()) ctx.desktop.addTrayIcon();
}

void unloadTaskIcon(UiContext ctx) {
    ctx.timers.stop(timer::kTrayIconRemoval);
    ctx.desktop.removeTrayIcon();
}

void Form_Resize(UiContext ctx, WindowState state) {
    ctx.form.windowState = state;
    if (state != WindowState::Minimised) return;
    bool toTray = false;
    step([&] { toTray = ctx.settings.isTrue(column::kTaskTray); });
    if (!toTray) return;
    if (!trayHere(ctx)) return;
    loadTaskIcon(ctx);
    ctx.form.windowState = WindowState::Hidden;
}

void taskicon_MouseDown(UiContext ctx, TrayButton button) {
    if (button == TrayButton::Other) return;
    ctx.form.windowState = WindowState::Normal;
    ctx.timers.start(timer::kTrayIconRemoval);
}

void taskicon_TimerTick(UiContext ctx) {
    ctx.timers.stop(timer::kTrayIconRemoval);
    if (ctx.form.windowState == WindowState::Hidden) return;  // hidden again meanwhile: the icon stays
    ctx.desktop.removeTrayIcon();
}

}  // namespace rx47
