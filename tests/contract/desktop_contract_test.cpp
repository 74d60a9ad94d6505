// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The desktop's contract (platform/desktop.h) held by the Qt desktop offscreen: the splash, the
// notification-area icon, the main window brought forward, and the dialogs with a user played by a
// timer that answers the modal dialog once it is up. On a real X display: trayAvailable() with and
// without a tray host (gui/tray_test), notify() and showSetupDialog() (gui/window_manager_test).
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "support/qt_events.h"
#include "ui/qt/qt_desktop.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

struct DesktopContract : ::testing::Test {
    QtDesktop desktop;
    std::string message;

    /// Runs `act` on the next modal dialog of type T once it is up.
    template <class T>
    static void whenOpened(std::function<void(T*)> act) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, act] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                poll->stop();
                poll->deleteLater();
                act(dialog);
            }
        });
        poll->start(10);
    }
    void userPicks(std::optional<Colour> colour) {
        whenOpened<QColorDialog>([colour](QColorDialog* picker) {
            EXPECT_EQ(picker->currentColor(), QColor(Qt::white)) << "opened on a colour of the caller's";
            if (!colour) return picker->reject();
            picker->setCurrentColor(QColor(static_cast<int>(*colour & 0xFF), static_cast<int>(*colour >> 8 & 0xFF),
                                           static_cast<int>(*colour >> 16 & 0xFF)));
            picker->accept();
        });
    }
    void userClosesTheMessage() {
        whenOpened<QMessageBox>([this](QMessageBox* box) {
            // The program's title, an information icon and an OK button, whatever the text.
            EXPECT_EQ(box->windowTitle(), QStringLiteral(" RX47 monitor"));
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            message = box->text().toStdString();
            box->accept();
        });
    }
    /// The splash window while it is on the screen.
    static QWidget* splash() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowType() == Qt::SplashScreen && w->isVisible()) return w;
        return nullptr;
    }
};

TEST_F(DesktopContract, ThePickerGivesTheChosenColourRedInTheLowByteOrNothingWhenCancelled) {
    userPicks(Colour{0x00332211});
    EXPECT_EQ(desktop.pickColour(), std::optional<Colour>(0x00332211));
    userPicks(std::nullopt);
    EXPECT_EQ(desktop.pickColour(), std::nullopt);
}

TEST_F(DesktopContract, TheMessageBoxReturnsOnceClosedHavingShownTheText) {
    userClosesTheMessage();
    desktop.showMessage("警報値を入力してください");
    EXPECT_EQ(message, "警報値を入力してください");
}

TEST_F(DesktopContract, TheMainWindowIsActiveOnceRaisedAndNotWhenMinimised) {
    EXPECT_FALSE(desktop.mainWindowActive());  // there is none yet
    QWidget main, other;
    desktop.setMainWindow(&main);
    main.show();
    other.show();
    other.activateWindow();
    ASSERT_TRUE(test::runEventsUntil([&] { return other.isActiveWindow(); }, 5s));
    EXPECT_FALSE(desktop.mainWindowActive());
    desktop.raiseMainWindow();
    EXPECT_TRUE(test::runEventsUntil([&] { return desktop.mainWindowActive(); }, 5s));
    main.showMinimized();
    EXPECT_FALSE(desktop.mainWindowActive());
}

TEST_F(DesktopContract, TheSplashAndTheIconComeOnceAndGoWhetherTheyAreThereOrNot) {
    desktop.closeSplash();  // never shown
    desktop.removeTrayIcon();
    EXPECT_FALSE(desktop.trayIconShown());

    // The splash: borderless, above the others, centred, not modal. (It comes from the event loop, so
    // that it lies above the main window that start-up shows after asking for it.)
    desktop.showSplash();
    ASSERT_TRUE(test::runEventsUntil([] { return splash() != nullptr; }, 5s));
    QWidget* shown = splash();
    EXPECT_TRUE(shown->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(shown->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(shown->isModal());
    EXPECT_EQ(shown->geometry().center(), shown->screen()->geometry().center());
    desktop.closeSplash();
    EXPECT_EQ(splash(), nullptr);
    desktop.closeSplash();

    // The icon, with the program's tip, once however often it is added.
    desktop.addTrayIcon();
    ASSERT_TRUE(desktop.trayIconShown());
    QSystemTrayIcon* icon = desktop.trayIcon();
    EXPECT_EQ(icon->toolTip(), QStringLiteral("RX47 monitor"));
    desktop.addTrayIcon();
    EXPECT_EQ(desktop.trayIcon(), icon);
    EXPECT_TRUE(desktop.trayIconShown());
    desktop.removeTrayIcon();
    EXPECT_FALSE(desktop.trayIconShown());
    desktop.removeTrayIcon();
    EXPECT_FALSE(desktop.trayIconShown());
}

}  // namespace
}  // namespace rx47
