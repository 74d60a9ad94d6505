// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The notification-area icon and minimising into it. The icon's owner exists only while the icon is
// shown: loading it adds the icon, unloading removes it. A left or right button press on the icon
// brings the window back, and the icon goes about half a second later.
#pragma once

namespace rx47 {

struct UiContext;
enum class WindowState;

enum class TrayButton { Left, Right, Other };

/// Whether the desktop has a notification area; when it has none, the log says once that the window
/// is minimised as usual instead of hidden in it.
bool trayHere(UiContext ctx);
/// Adds the icon (never a second one) and cancels a removal that may be pending.
void loadTaskIcon(UiContext ctx);
/// Removes the icon.
void unloadTaskIcon(UiContext ctx);

/// The main window's size or state changed. Minimised with `tasktray` set and a notification area
/// present: hide the window behind the icon. Without a notification area it stays minimised on the
/// task bar, so it can always be brought back.
void Form_Resize(UiContext ctx, WindowState state);

/// A mouse button was pressed on the icon.
void taskicon_MouseDown(UiContext ctx, TrayButton button);

/// Tick of the icon owner's timer: the restore is done, the icon goes.
void taskicon_TimerTick(UiContext ctx);

}  // namespace rx47
