// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The desktop on Qt widgets: the splash window, the one notification-area icon, the desktop's
// notifications, the settings dialog, the colour picker and the message box.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/desktop.h"
#include "ui/tray.h"

class QSystemTrayIcon;

namespace rx47 {

class DesktopNotifier;
class Dispatcher;
class SplashWindow;

class QtDesktop : public Desktop {
public:
    QtDesktop();
    ~QtDesktop() override;
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    /// The road a notification's click takes into the core, and the window the dialogs are modal to.
    void setDispatcher(Dispatcher* dispatcher) { dispatcher_ = dispatcher; }
    void setMainWindow(QWidget* window) { mainWindow_ = window; }
    /// Shows the settings dialog modally and returns once it is closed. The program gives it: the
    /// dialog's view stands above the main window's, so the desktop does not know it.
    void setSetupDialog(std::function<void()> show) { showSetupDialog_ = std::move(show); }
    /// Runs on a button press on the notification-area icon, with the button.
    void setTrayPressHandler(std::function<void(TrayButton)> handler) { trayPressed_ = std::move(handler); }

    void showSplash() override;
    void closeSplash() override;
    /// Whether the splash is up (or about to be: it appears from the event loop).
    bool splashShown() const;

    bool trayAvailable() const override;
    void addTrayIcon() override;
    void removeTrayIcon() override;
    bool trayIconShown() const override;
    /// The icon while it is shown (tests press it through its activated signal).
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }

    bool mainWindowActive() const override;
    /// Raises and activates the window (on Wayland through xdg-activation, which needs a token the
    /// compositor gave); logs once when it is not the active window a moment later.
    void raiseMainWindow() override;
    /// Sends through the session bus's notification service; its click restores the main window as a
    /// press on the tray icon does, and brings it forward with the click's activation token.
    void notify(const Notification& notification) override;

    void showSetupDialog() override;
    /// Opens the picker on white, whatever the swatch shows.
    std::optional<Colour> pickColour() override;
    void showMessage(const std::string& text) override;

private:
    Dispatcher* dispatcher_ = nullptr;
    QPointer<QWidget> mainWindow_;
    std::unique_ptr<SplashWindow> splash_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::function<void(TrayButton)> trayPressed_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::function<void()> showSetupDialog_;
};

}  // namespace rx47
