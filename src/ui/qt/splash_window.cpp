// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/splash_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/qt/conversions.h"
#include "ui/qt/pictures.h"

namespace rx47 {

namespace {
constexpr int kWidthTwips = 4620;
constexpr int kHeightTwips = 1845;
}  // namespace

SplashWindow::SplashWindow() : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    // The main window keeps the activation (it ends the loading state).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QStringLiteral(" RX47 monitor"));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const TwipScale scale(screen ? screen->logicalDotsPerInchX() : 96.0);
    setFixedSize(scale.px(kWidthTwips), scale.px(kHeightTwips));
    if (screen) move(screen->geometry().center() - rect().center());
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, splashPicture(size()));
}

}  // namespace rx47
