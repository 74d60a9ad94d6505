// The main window `main`: paints the trend graph, the panels and their labels from the MainForm
// model, keeps real widgets for the combo boxes, option buttons and command buttons in step with it,
// and forwards each user event to one core handler through the dispatcher. It decides nothing.
#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>
#include <array>
#include <optional>

#include "model/main_form.h"

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

    /// Brings the widgets, the caption and the window state in step with the model and asks for one
    /// repaint of the painted parts. Cheap; called after every handler.
    void sync();

    /// The on-screen rectangle of a model geometry (twips to pixels at the screen's logical DPI).
    QRect toPixels(const Geometry& g) const;
    double pixelsPerTwip() const { return pixelsPerTwip_; }

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
    QPointF toPixels(Twips x, Twips y) const;
    void buildWidgets();
    void syncWidgets();
    void syncWindowState();
    void applyWindowState(WindowState wanted);
    void centreOnScreen();
    /// A visible label or picture (other than a bar) that takes the mouse at this point.
    bool overOtherControl(QPoint pos) const;


    Dispatcher& dispatcher_;
    double pixelsPerTwip_ = 1.0 / 15;
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
};

}  // namespace rx47
