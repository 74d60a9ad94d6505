// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's view: a fixed-size modal QDialog that renders the SetupForm model and
// forwards each user event to one handler of setup/ through the dispatcher, which then syncs both
// windows. It decides nothing itself.
#pragma once

#include <QDialog>
#include <array>

#include "model/setup_form.h"
#include "ui/qt/conversions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace rx47 {

struct Context;
class Dispatcher;

/// Builds the settings dialog afresh, shows it modally over `parent` and discards it when closed.
/// The main window's timers keep running meanwhile.
void runSetupDialog(Dispatcher& dispatcher, QWidget* parent);

/// The program ends: a settings dialog that is open closes now, before the end commits and closes the
/// settings, as at a logout: its boxes are not looked at, and what was typed into them is dropped.
void closeSetupDialogAtProgramEnd();

class SetupDialog : public QDialog {
public:
    /// Builds the dialog, has the dispatcher sync it after every handler while it lives, and runs its
    /// load.
    SetupDialog(Dispatcher& dispatcher, QWidget* parent);
    ~SetupDialog() override;
    SetupDialog(const SetupDialog&) = delete;
    SetupDialog& operator=(const SetupDialog&) = delete;

    /// Renders the model when it changed since it was last rendered, or when the last handler came
    /// from this dialog (its widget may show what the user did, not the model).
    void sync();

    const SetupForm& form() const { return form_; }

    /// The dialog has no Cancel button: Escape does nothing, it closes only through its close box.
    void reject() override {}

    /// Closes the dialog for the end of the program: nothing keeps it open or waits for a click.
    void closeAtProgramEnd();

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Runs one handler of the dialog through the dispatcher, which logs whatever escapes and syncs
    /// both windows.
    template <class Handler>
    void handle(Handler&& handler);
    void render();
    void centreOverParent();
    void place(QWidget* w, const Geometry& g) const;

    Dispatcher& dispatcher_;
    Context& ctx_;
    SetupForm form_;
    SetupForm rendered_;   // the model as last rendered
    bool touched_ = true;  // a handler of this dialog ran since the last render
    std::array<QCheckBox*, 10> check_{};
    std::array<QLineEdit*, 3> text_{};
    std::array<QLabel*, 11> label_{};
    QToolButton* soundTest_ = nullptr;
    QString soundTestStyle_;
    int focusMovesShown_ = 0;
    TwipScale scale_{96};
    bool centred_ = false;
    bool closedAtEnd_ = false;
    /// How long after showing the window manager's frame is looked at.
    static constexpr int kFrameSettleTime = 200;
};

}  // namespace rx47
