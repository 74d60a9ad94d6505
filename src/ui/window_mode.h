// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Which of its three presentations the main window is in: normal, minimised on the task bar, or
// hidden with the notification-area icon. The view shows the model's windowState; these handlers set
// it.
#pragma once

#include "model/main_form.h"
#include "ui/tray.h"  // Form_Resize and the icon's handlers

namespace rx47 {

struct UiContext;

/// Start-up's choice (its step 13): with `startup` and `tasktray` set the window hides behind the
/// notification-area icon, with `startup` alone it starts minimised, otherwise it opens normally with
/// the splash on top. A hidden window must stay reachable: without a notification area to hold the
/// icon the window starts minimised instead. A setting that cannot be read counts as not set.
void chooseStartWindowMode(UiContext ctx);

/// Another copy of the program was started for the same program folder and asked this one to come
/// forward. A window that is minimised or hidden behind its icon comes back as after a left press on
/// the icon (the icon goes half a second later); a normal one stays as it is. The view then raises it.
void anotherCopyStarted(UiContext ctx);

}  // namespace rx47
