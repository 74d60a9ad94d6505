// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The desktop's contract (platform/desktop.h) where a user answers a dialog: the recording double the
// core's tests run on, and the Qt desktop offscreen with a user played by a timer that answers the
// modal dialog once it is up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>

#include "support/fakes.h"
#include "support/qt_events.h"
#include "ui/qt/qt_desktop.h"

namespace rx47 {
namespace {

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

struct RecordingRig {
    static constexpr const char* kName = "Recording";
    test::RecordingDesktop desktop;
    void userPicks(std::optional<Colour> colour) { desktop.pickedColour = colour; }
    void userClosesTheMessage() {}
    std::string lastMessage() const { return desktop.messages.empty() ? "" : desktop.messages.back(); }
};

struct QtRig {
    static constexpr const char* kName = "Qt";
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
            if (!colour) return picker->reject();
            picker->setCurrentColor(QColor(static_cast<int>(*colour & 0xFF), static_cast<int>(*colour >> 8 & 0xFF),
                                           static_cast<int>(*colour >> 16 & 0xFF)));
            picker->accept();
        });
    }
    void userClosesTheMessage() {
        whenOpened<QMessageBox>([this](QMessageBox* box) {
            // The program's title and an information icon, whatever the text.
            EXPECT_EQ(box->windowTitle(), QStringLiteral(" RX47 monitor"));
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            message = box->text().toStdString();
            box->accept();
        });
    }
    std::string lastMessage() const { return message; }
};

template <class Rig>
struct DesktopContract : ::testing::Test {
    Rig rig;
    Desktop& desktop = rig.desktop;
};

using Rigs = ::testing::Types<RecordingRig, QtRig>;
TYPED_TEST_SUITE(DesktopContract, Rigs, test::RigNames);

TYPED_TEST(DesktopContract, ThePickerGivesTheChosenColourRedInTheLowByteOrNothingWhenCancelled) {
    this->rig.userPicks(Colour{0x00332211});
    EXPECT_EQ(this->desktop.pickColour(), std::optional<Colour>(0x00332211));
    this->rig.userPicks(std::nullopt);
    EXPECT_EQ(this->desktop.pickColour(), std::nullopt);
}

TYPED_TEST(DesktopContract, TheMessageBoxReturnsOnceClosedHavingShownTheText) {
    this->rig.userClosesTheMessage();
    this->desktop.showMessage("警報値を入力してください");
    EXPECT_EQ(this->rig.lastMessage(), "警報値を入力してください");
}

}  // namespace
}  // namespace rx47
