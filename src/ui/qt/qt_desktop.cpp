// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/qt_desktop.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include "base/log.h"
#include "model/context.h"
#include "ui/qt/conversions.h"
#include "ui/qt/desktop_notifier.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/pictures.h"
#include "ui/qt/splash_window.h"

namespace rx47 {

namespace {
constexpr const char* kTrayTip = "RX47 monitor";
constexpr const char* kMessageTitle = " RX47 monitor";
/// How long the desktop has to bring the window forward before it counts as kept back.
constexpr int kRaiseCheckMs = 2000;
}  // namespace

QtDesktop::QtDesktop() = default;

QtDesktop::~QtDesktop() {
    if (tray_) tray_->hide();
}

void QtDesktop::showSplash() {
    if (!splash_) splash_ = std::make_unique<SplashWindow>();
    // Start-up asks for the splash before the main window is first shown. Shown from the event loop,
    // it comes after the main window and lies above it also where no window manager keeps it on top.
    SplashWindow* splash = splash_.get();
    QTimer::singleShot(0, splash, [splash] {
        splash->show();
        splash->raise();
    });
}

void QtDesktop::closeSplash() {
    if (!splash_) return;
    splash_->close();
    splash_.reset();
}

bool QtDesktop::splashShown() const {
    return splash_ != nullptr;
}

bool QtDesktop::trayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtDesktop::addTrayIcon() {
    if (tray_) {
        tray_->show();
        return;
    }
    tray_ = std::make_unique<QSystemTrayIcon>(programIcon());
    tray_->setToolTip(QString::fromLatin1(kTrayTip));
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (!trayPressed_) return;
        switch (reason) {
            case QSystemTrayIcon::Trigger:
                trayPressed_(TrayButton::Left);
                break;
            case QSystemTrayIcon::Context:
                trayPressed_(TrayButton::Right);
                break;
            default:
                trayPressed_(TrayButton::Other);
                break;
        }
    });
    tray_->show();
}

void QtDesktop::removeTrayIcon() {
    if (!tray_) return;
    tray_->hide();
    // Not deleted here: this may run from the icon's own signal.
    tray_.release()->deleteLater();
}

bool QtDesktop::trayIconShown() const {
    return tray_ && tray_->isVisible();
}

bool QtDesktop::mainWindowActive() const {
    return mainWindow_ && mainWindow_->isVisible() && !mainWindow_->isMinimized() && mainWindow_->isActiveWindow();
}

void QtDesktop::raiseMainWindow() {
    if (!mainWindow_) return;
    mainWindow_->raise();
    mainWindow_->activateWindow();
    QTimer::singleShot(kRaiseCheckMs, mainWindow_.data(), [this] {
        const bool forward = mainWindowActive();
        const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
        if (!dispatcher_) return;
        dispatcher_->run([forward, wayland](Context& ctx) {
            constexpr const char* cause = "window forward";
            if (forward) {
                ctx.log.clear(LogCategory::Program, cause, "the window was brought forward");
                return;
            }
            ctx.log.fail(LogCategory::Program, cause,
                         wayland ? "the window could not be raised: the Wayland compositor lets no program raise its "
                                   "own window (the desktop's notification tells of an alarm)"
                                 : "the window could not be raised: the window manager kept it back (the desktop's "
                                   "notification tells of an alarm)");
        });
    });
}

void QtDesktop::notify(const Notification& notification) {
    if (!notifier_) {
        notifier_ = std::make_unique<DesktopNotifier>();
        notifier_->setFailureHandler([this](const std::string& why) {
            if (!dispatcher_) return;
            dispatcher_->run([why](Context& ctx) {
                constexpr const char* cause = "desktop notifications";
                if (why.empty())
                    ctx.log.clear(LogCategory::Program, cause, "the desktop's notification service answers again");
                else
                    ctx.log.fail(LogCategory::Program, cause,
                                 "alarms cannot be told through the desktop's notifications (" + why + ")");
            });
        });
        notifier_->setClickHandler([this](const QString& token) {
            // The token lets a Wayland compositor give the window the focus: Qt's activation uses it.
            if (!token.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
            if (trayPressed_) trayPressed_(TrayButton::Left);
            raiseMainWindow();
        });
    }
    notifier_->send(notification);
}

void QtDesktop::showSetupDialog() {
    if (showSetupDialog_) showSetupDialog_();
}

std::optional<Colour> QtDesktop::pickColour() {
    const QColor chosen = QColorDialog::getColor(Qt::white, mainWindow_.data());
    if (!chosen.isValid()) return std::nullopt;
    return rgb(static_cast<unsigned>(chosen.red()), static_cast<unsigned>(chosen.green()),
               static_cast<unsigned>(chosen.blue()));
}

void QtDesktop::showMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kMessageTitle), qtText(text), QMessageBox::Ok,
                    mainWindow_.data());
    box.exec();
}

}  // namespace rx47
