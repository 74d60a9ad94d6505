// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's real Qt view, offscreen, over the core with a real settings file: it shows
// the dialog's captions, forwards clicks and typing to the core, and stays open on a rejected value.
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "setup/qt/setup_dialog.h"
#include "support/program_folder.h"
#include "ui/qt/dispatcher.h"

namespace rx47 {
namespace {

struct SetupDialogView : ::testing::Test {
    test::TestMonitor m;
    Dispatcher dispatcher{m.ctx};
    std::unique_ptr<SetupDialog> dialog;

    SetupDialogView() {
        m.values.versionText = "1.2";
        m.values.cpmAlarmLevel = 100;
        m.plugIn();
        m.desktop.pickedColour = rgb(0x10, 0x20, 0x30);
        dialog = std::make_unique<SetupDialog>(dispatcher, nullptr);
        dialog->show();
    }
    template <class T>
    T* child(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        if (!w) throw std::runtime_error(std::string("no control ") + name);
        return w;
    }
    static void typeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }
    static void moveOver(QWidget* w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), Qt::NoButton, {}, {});
        QApplication::sendEvent(w, &move);
    }
    static void clickOn(QWidget* w) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, {}, {});
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
};

TEST_F(SetupDialogView, ShowsTheDesignAndForwardsClicks) {
    EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8(" RX47 monitor  version 1.2"));
    EXPECT_EQ(child<QCheckBox>("Check1_0")->text(), QString::fromUtf8("CPM/線量警報レベルを設定する"));
    EXPECT_EQ(child<QLabel>("Label1_1")->text(), QString::fromUtf8("警報レベルを超えた場合の動作"));
    EXPECT_EQ(child<QToolButton>("cmd")->toolTip(), QString::fromUtf8(" サウンドテスト "));
    EXPECT_EQ(child<QLineEdit>("txt_1")->text(), "100");
    EXPECT_EQ(child<QCheckBox>("Check1_2")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(QFontInfo(child<QCheckBox>("Check1_0")->font()).family(), "IPAPGothic");
    const double pxPerTwip = dialog->logicalDpiX() / 1440.0;
    EXPECT_NEAR(dialog->width(), 5910 * pxPerTwip, 1);
    EXPECT_NEAR(dialog->height(), 5475 * pxPerTwip, 1);
    EXPECT_FALSE(dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));

    child<QCheckBox>("Check1_6")->click();
    EXPECT_TRUE(test::StoredSettings(m.folder.path()).isTrue("startup"));

    clickOn(child<QLabel>("Label1_4"));
    EXPECT_EQ(child<QLabel>("Label1_4")->palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(m.form.tgt[0].backColour, rgb(0x10, 0x20, 0x30));

    moveOver(child<QToolButton>("cmd"));
    EXPECT_EQ(dialog->form().cmd.backColour, kSoundTestHover);
    moveOver(dialog.get());
    EXPECT_EQ(dialog->form().cmd.backColour, kButtonFace);
}

TEST_F(SetupDialogView, ItsEventsTakeTheDispatchersRoadAndTheMainWindowFollows) {
    int mainWindowSyncs = 0;
    dispatcher.setAfterEach([&] { ++mainWindowSyncs; });
    const bool lineShown = m.form.lne[kAlarmLine].visible;
    child<QCheckBox>("Check1_5")->click();
    EXPECT_EQ(mainWindowSyncs, 1);
    EXPECT_NE(m.form.lne[kAlarmLine].visible, lineShown);

    // A tick while the dialog is open syncs it too: what the user changed in a widget the model
    // did not take is put back only by the dialog's own handlers, so an unchanged model leaves it.
    child<QLineEdit>("txt_0")->setText("typed, not forwarded");
    dispatcher.run([](Context&) {});
    EXPECT_EQ(child<QLineEdit>("txt_0")->text(), "typed, not forwarded");
    moveOver(dialog.get());
    EXPECT_NE(child<QLineEdit>("txt_0")->text(), "typed, not forwarded");

    dialog.reset();
    dispatcher.run([](Context&) {});  // the dialog's sync went with it
    EXPECT_EQ(mainWindowSyncs, 4);
}

TEST_F(SetupDialogView, ABadValueKeepsTheDialogOpenWithItsTextSelected) {
    QLineEdit* cpm = child<QLineEdit>("txt_1");
    typeInto(cpm, "12a");
    child<QLineEdit>("txt_2")->setFocus();
    dialog->close();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(m.desktop.messages, std::vector<std::string>{"CPM 警報値は 0～65535 の間で設定してください"});
    EXPECT_EQ(cpm->selectedText(), "12a");
    EXPECT_EQ(dialog->focusWidget(), cpm);

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);  // no way out either
    QApplication::sendEvent(dialog.get(), &escape);
    EXPECT_TRUE(dialog->isVisible());

    typeInto(cpm, "250");
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(m.port.sent, std::vector<std::string>{"set atc=250\r\n"});
}

TEST_F(SetupDialogView, RunsModallyCentredWhileTheTimersRun) {
    dialog.reset();
    QWidget mainWindow;
    mainWindow.setGeometry(100, 100, 852, 484);
    mainWindow.show();
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    bool modal = false;
    QPoint centre;
    QTimer::singleShot(100, [&] {
        QWidget* shown = QApplication::activeModalWidget();
        if (!shown) return;
        modal = dynamic_cast<SetupDialog*>(shown) != nullptr;
        centre = shown->frameGeometry().center();
        shown->close();
    });
    runSetupDialog(dispatcher, &mainWindow);
    EXPECT_TRUE(modal);
    EXPECT_LE((centre - mainWindow.frameGeometry().center()).manhattanLength(), 4);
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(mainWindow.findChildren<SetupDialog*>().isEmpty());  // discarded at close
}

}  // namespace
}  // namespace rx47
