// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main window `main`: paints the trend graph, the panels and their labels from the MainForm
// model, keeps real widgets for the combo boxes, option buttons and command buttons in step with it,
// and forwards each user event to one core handler through the dispatcher. It decides nothing.
//
// It repaints only what changed: sync() compares the model with what was last put on screen and
// invalidates the rectangles of the controls that differ (the graph as one area), and touches a
// widget only when its record changed. While the window is minimised or hidden nothing is drawn or
// synced; the window catches up once when it is shown again.
#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <array>
#include <cstddef>
#include <optional>

#include "model/main_form.h"
#include "ui/qt/conversions.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QPushButton;
class QRadioButton;

namespace rx47 {

class Dispatcher;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Dispatcher& dispatcher, QWidget* parent = nullptr);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Brings the window state, the widgets and the caption in step with the model and invalidates
    /// the painted controls that changed. Cheap when nothing did; called after every handler.
    void sync();

    /// The on-screen rectangle of a model geometry (twips to pixels at the screen's logical DPI).
    QRect toPixels(const Geometry& g) const;
    double pixelsPerTwip() const { return scale_.pixelsPerTwip(); }

    QComboBox* combo(int index) const { return combo_.at(index); }
    QRadioButton* option1(int index) const { return option1_.at(index); }
    QRadioButton* option2(int index) const { return option2_.at(index); }
    QPushButton* button(int index) const { return cmd_.at(index); }

    /// The tgt element under a point of the window (hidden ones are not there), or -1.
    int barAt(QPoint pos) const;
    /// The tool tip of whatever is under the point, with the rectangle it belongs to.
    QString toolTipAt(QPoint pos, QRect* area) const;

signals:
    /// The user closed the window.
    void closed();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const MainForm& form() const;
    int px(Twips t) const;
    void buildWidgets();
    /// Puts the widget records that differ from what is on screen (all of them with `all`) into the
    /// widgets.
    void syncWidgets(bool all);
    void syncWindowState();
    void applyWindowState(WindowState wanted);
    /// Whether the window can be seen: shown and not minimised.
    bool onScreen() const { return isVisible() && !isMinimized(); }
    /// Everything from the model, after a time off screen.
    void catchUp();
    /// Invalidates the painted controls whose records differ from what was drawn.
    void invalidateChanged();
    /// The rectangle a control paints (empty when it paints nothing).
    QRect paintedRect(const LabelControl& l) const;
    QRect paintedRect(const LineControl& l) const;
    QRect paintedRect(const ShapeControl& s) const;
    QRect paintedRect(const ImageControl& i) const;
    /// The notice line's rectangle: its text is cut to fit.
    QRect noticeRect(const LabelControl& notice) const;
    template <class Control, std::size_t N>
    void recordDrawn(const std::array<Control, N>& model, std::array<Control, N>& drawn, std::array<QRect, N>& rects,
                     QRect* area);
    void centreOnScreen();
    /// A visible label or picture (other than a bar) that takes the mouse at this point.
    bool overOtherControl(QPoint pos) const;

    Dispatcher& dispatcher_;
    TwipScale scale_{96};
    std::array<QComboBox*, 3> combo_{};
    std::array<QRadioButton*, 2> option1_{};
    std::array<QRadioButton*, 2> option2_{};
    std::array<QWidget*, 2> frame_{};
    std::array<QButtonGroup*, 2> group_{};
    std::array<QPushButton*, 2> cmd_{};
    std::array<QPixmap, 2> pictures_;        // Image1(0) and (1) at their on-screen size
    std::optional<WindowState> shownState_;  // the window state last put on screen
    std::optional<WindowState> requested_;   // asked of the window manager, not yet reported back
    int requestsRepeated_ = 0;
    QElapsedTimer requestedAt_;
    static constexpr int kRequestRepeats = 3;
    static constexpr int kRequestPatienceMs = 2000;
    bool centred_ = false;

    // What is on screen: the model's records as last drawn or put into widgets, and the rectangle
    // each painted control covers.
    MainForm drawn_;
    bool stale_ = true;                   // the screen lags the model (minimised, hidden, not yet shown)
    std::array<bool, 3> comboTouched_{};  // the user changed a widget: put the model back into it
    std::array<bool, 2> pairTouched_{};
    struct Areas {
        template <class Controls>
        using Of = std::array<QRect, std::tuple_size_v<Controls>>;
        Of<decltype(MainForm::Label)> Label;
        Of<decltype(MainForm::tgt)> tgt;
        Of<decltype(MainForm::bar)> bar;
        Of<decltype(MainForm::lne)> lne;
        Of<decltype(MainForm::lbl)> lbl;
        Of<decltype(MainForm::tme)> tme;
        QRect notice;
        Of<decltype(MainForm::Shape1)> Shape1;
        Of<decltype(MainForm::Image1)> Image1;
    } areas_;
};

}  // namespace rx47
