// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the core asks of the desktop: the windows it opens, closes, shows and hides, and the few
// standard dialogs. The Qt shell implements it; tests record the calls.
//
// Contract: every call returns when its window is up or gone; the dialogs (settings, colour picker,
// message box) are modal and return when the user has closed them. Closing or removing what is not
// there does nothing, and adding what is there adds no second one.
#pragma once

#include <optional>
#include <string>

#include "base/number.h"

namespace rx47 {

/// A message for the desktop's notification service (the pop-up that appears over any window).
struct Notification {
    std::string summary;
    std::string body;
    bool critical = false;  ///< stays until the user dismisses it
};

class Desktop {
public:
    virtual ~Desktop() = default;

    /// Shows the start-up splash window (borderless, topmost, centred), not modal.
    virtual void showSplash() = 0;
    /// Closes the start-up splash window, whether it was shown or not.
    virtual void closeSplash() = 0;

    /// Whether the desktop has a notification area that can show an icon now.
    virtual bool trayAvailable() const = 0;
    /// Adds the notification-area icon (tip "RX47 monitor"); never a second one.
    virtual void addTrayIcon() = 0;
    virtual void removeTrayIcon() = 0;
    virtual bool trayIconShown() const = 0;

    /// Whether the main window is on the screen and is the window the user works in.
    virtual bool mainWindowActive() const = 0;
    /// Brings the main window in front of the others and gives it the focus where the desktop lets a
    /// program do so; a window the desktop kept back is logged.
    virtual void raiseMainWindow() = 0;
    /// Sends a message to the desktop's notification service; clicking it brings the main window back
    /// where the desktop lets a program do so. Without a service the message is lost (and logged).
    virtual void notify(const Notification& notification) = 0;

    /// Shows the settings dialog modally; returns when it has been closed. Timers keep running.
    virtual void showSetupDialog() = 0;
    /// The colour picker, opened on its own starting colour (never preset to a swatch's colour):
    /// the colour chosen (0x00BBGGRR), nothing when the user cancels.
    virtual std::optional<Colour> pickColour() = 0;
    /// A message box with the title " RX47 monitor", an information icon and an OK button.
    virtual void showMessage(const std::string& text) = 0;
};

}  // namespace rx47
