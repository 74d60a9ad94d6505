// The settings dialog's view: a fixed-size modal QDialog that renders the SetupForm model and
// forwards each user event to one handler of setup/, then renders the model again. It decides
// nothing itself.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "model/setup_form.h"
#include "ui/qt/conversions.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace rx47 {

struct Context;

/// Builds the settings dialog afresh, shows it modally over `parent` and discards it when closed.
/// The main window's timers keep running meanwhile.
void runSetupDialog(Context& ctx, QWidget* parent);
/// As above; `mainFormChanged` runs after every handler of the dialog, which may have changed the
/// main window's model (alarm line, graph colours). Without it the parent is asked to repaint.
void runSetupDialog(Context& ctx, QWidget* parent, std::function<void()> mainFormChanged);

class SetupDialog : public QDialog {
public:
    /// Builds the dialog and runs its load.
    SetupDialog(Context& ctx, QWidget* parent, std::function<void()> mainFormChanged = {});
    SetupDialog(const SetupDialog&) = delete;
    SetupDialog& operator=(const SetupDialog&) = delete;

    const SetupForm& form() const { return form_; }

    /// The dialog has no Cancel button: Escape does nothing, it closes only through its close box.
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Runs one handler of the dialog (no failure escapes into the event loop), then renders; and
    /// tells the main window when the handler may have changed its model.
    template <class Handler>
    void handle(Handler&& handler, bool mayChangeMainWindow = true);
    void render();
    void centreOverParent();
    void place(QWidget* w, const Geometry& g) const;

    Context& ctx_;
    SetupForm form_;
    std::function<void()> mainFormChanged_;
    std::array<QCheckBox*, 10> check_{};
    std::array<QLineEdit*, 3> text_{};
    std::array<QLabel*, 11> label_{};
    QToolButton* soundTest_ = nullptr;
    QString soundTestStyle_;
    int focusMovesShown_ = 0;
    TwipScale scale_{96};
    bool centred_ = false;
    /// How long after showing the window manager's frame is looked at.
    static constexpr int kFrameSettleTime = 200;
};

}  // namespace rx47
