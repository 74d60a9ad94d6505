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

    /// Shows the settings dialog modally; returns when it has been closed. Timers keep running.
    virtual void showSetupDialog() = 0;
    /// The colour picker, opened on its own starting colour (never preset to a swatch's colour):
    /// the colour chosen (0x00BBGGRR), nothing when the user cancels.
    virtual std::optional<Colour> pickColour() = 0;
    /// A message box with the title " RX47 monitor", an information icon and an OK button.
    virtual void showMessage(const std::string& text) = 0;
};

}  // namespace rx47
