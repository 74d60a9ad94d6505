// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/window_mode.h"

#include "base/failure.h"
#include "model/context.h"
#include "platform/desktop.h"
#include "storage/settings_row.h"
#include "ui/tray.h"

namespace rx47 {

void chooseStartWindowMode(UiContext ctx) {
    bool startMinimised = false;
    bool inTray = false;
    step([&] { startMinimised = ctx.settings.isTrue(column::kStartMinimised); });
    step([&] { inTray = ctx.settings.isTrue(column::kTaskTray); });
    MainForm& f = ctx.form;
    if (!startMinimised) {
        f.windowState = WindowState::Normal;
        ctx.desktop.showSplash();
        return;
    }
    f.windowState = WindowState::Minimised;
    if (inTray && trayHere(ctx)) {
        loadTaskIcon(ctx);
        // Hidden without an icon the window could not be brought back.
        if (ctx.desktop.trayIconShown()) f.windowState = WindowState::Hidden;
    }
}

void anotherCopyStarted(UiContext ctx) {
    if (ctx.form.windowState != WindowState::Normal) taskicon_MouseDown(ctx, TrayButton::Left);
}

}  // namespace rx47
