// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/qt_desktop.h"

#include <QColorDialog>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include "setup/qt/setup_dialog.h"
#include "ui/qt/conversions.h"
#include "ui/qt/pictures.h"
#include "ui/qt/splash_window.h"

namespace rx47 {

namespace {
constexpr const char* kTrayTip = "RX47 monitor";
constexpr const char* kMessageTitle = " RX47 monitor";
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

void QtDesktop::showSetupDialog() {
    if (dispatcher_) runSetupDialog(*dispatcher_, mainWindow_.data());
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
