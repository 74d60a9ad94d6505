// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/main_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolTip>

#include "display/scales.h"
#include "display/tooltips.h"
#include "model/context.h"
#include "ui/controls.h"
#include "ui/qt/conversions.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/pictures.h"
#include "ui/startup.h"
#include "ui/window_mode.h"

namespace rx47 {

namespace {

void setBackColour(QWidget* w, Colour colour, QPalette::ColorRole role) {
    const QColor c = qtColour(colour);
    if (w->palette().color(role) == c) return;
    QPalette palette = w->palette();
    palette.setColor(role, c);
    w->setPalette(palette);
}

// Whether two records of a control paint the same (tool tips and the like are not painted).
bool paintsSame(const LabelControl& a, const LabelControl& b) {
    return a.caption == b.caption && a.visible == b.visible && a.backColour == b.backColour &&
           a.foreColour == b.foreColour && a.transparent == b.transparent && a.border == b.border &&
           a.align == b.align && a.font == b.font && a.geometry == b.geometry;
}
bool paintsSame(const LineControl& a, const LineControl& b) {
    return a == b;
}
bool paintsSame(const ShapeControl& a, const ShapeControl& b) {
    return a == b;
}
bool paintsSame(const ImageControl& a, const ImageControl& b) {
    return a.visible == b.visible && a.geometry == b.geometry;
}

}  // namespace

MainWindow::MainWindow(Dispatcher& dispatcher, QWidget* parent) : QWidget(parent), dispatcher_(dispatcher) {
    installFontSubstitutions();
    scale_ = TwipScale::of(*this);
    setFixedSize(px(form().clientWidth), px(form().clientHeight));
    setFont(qtFont(form().font, form().font));
    QToolTip::setFont(font());
    setWindowIcon(programIcon());
    setAutoFillBackground(true);
    setBackColour(this, form().backColour, QPalette::Window);
    setMouseTracking(true);
    buildWidgets();
    // The widgets are ready before the window first appears; the window itself appears with the
    // first sync(), in the state the model says, and is drawn from then on.
    syncWidgets(true);
}

const MainForm& MainWindow::form() const {
    return dispatcher_.context().form;
}

int MainWindow::px(Twips t) const {
    return scale_.px(t);
}

QRect MainWindow::toPixels(const Geometry& g) const {
    return scale_.rect(g);
}

void MainWindow::buildWidgets() {
    const MainForm& f = form();
    for (int k = 0; k < 2; ++k) {
        auto* frame = new QWidget(this);
        frame->setGeometry(toPixels(f.Frame[k].geometry));
        frame->setAutoFillBackground(true);
        setBackColour(frame, f.Frame[k].backColour, QPalette::Window);
        frame->setAttribute(Qt::WA_NoMousePropagation);
        frame_[k] = frame;
        group_[k] = new QButtonGroup(this);
    }
    const auto makeOption = [&](const OptionControl& o, int frame) {
        auto* radio = new QRadioButton(qtText(o.caption), frame_[frame]);
        radio->setGeometry(toPixels(o.geometry).translated(-frame_[frame]->pos()));
        group_[frame]->addButton(radio);
        return radio;
    };
    for (int k = 0; k < 2; ++k) {
        option1_[k] = makeOption(f.Option1[k], 0);
        connect(option1_[k], &QAbstractButton::toggled, this, [this, k](bool on) {
            pairTouched_[0] = true;
            if (on) dispatcher_.run([k](Context& ctx) { Option1_Click(ctx, k); });
        });
        option2_[k] = makeOption(f.Option2[k], 1);
        connect(option2_[k], &QAbstractButton::toggled, this, [this, k](bool on) {
            pairTouched_[1] = true;
            if (on) dispatcher_.run([k](Context& ctx) { Option2_Click(ctx, k); });
        });
    }

    for (int k = 0; k < 3; ++k) {
        auto* combo = new QComboBox(this);
        combo->setGeometry(toPixels(f.Combo1[k].geometry));
        combo->setEditable(f.Combo1[k].editable);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setAttribute(Qt::WA_NoMousePropagation);
        connect(combo, &QComboBox::activated, this, [this, k](int entry) {
            comboTouched_[k] = true;
            dispatcher_.run([k, entry](Context& ctx) { Combo1_Pick(ctx, k, entry); });
        });
        if (f.Combo1[k].editable) {
            connect(combo, &QComboBox::editTextChanged, this, [this, k](const QString& text) {
                comboTouched_[k] = true;
                dispatcher_.run([k, text = stdText(text)](Context& ctx) { Combo1_Change(ctx, k, text); });
            });
        }
        combo_[k] = combo;
    }

    for (int k = 0; k < 2; ++k) {
        auto* button = new QPushButton(this);
        button->setGeometry(toPixels(f.cmd[k].geometry));
        button->setMouseTracking(true);
        // A move over a button is the button's own; the window's hover reset must not follow it.
        button->setAttribute(Qt::WA_NoMousePropagation);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this,
                [this, k] { dispatcher_.run([k](Context& ctx) { cmd_Click(ctx, k); }); });
        cmd_[k] = button;
    }
}

void MainWindow::sync() {
    const MainForm& f = form();
    if (f.caption != drawn_.caption) {  // also on the task bar while minimised
        drawn_.caption = f.caption;
        setWindowTitle(qtText(f.caption));
    }
    syncWindowState();
    if (!onScreen()) {
        stale_ = true;
        return;
    }
    if (stale_) {
        catchUp();
        return;
    }
    syncWidgets(false);
    invalidateChanged();
}

void MainWindow::catchUp() {
    stale_ = false;
    syncWidgets(true);
    const MainForm& f = form();
    setBackColour(this, f.backColour, QPalette::Window);
    drawn_ = f;
    const auto measure = [this](const auto& controls, auto& rects) {
        for (std::size_t i = 0; i < controls.size(); ++i) rects[i] = paintedRect(controls[i]);
    };
    measure(f.Label, areas_.Label);
    measure(f.tgt, areas_.tgt);
    measure(f.bar, areas_.bar);
    measure(f.lne, areas_.lne);
    measure(f.lbl, areas_.lbl);
    measure(f.tme, areas_.tme);
    measure(f.Shape1, areas_.Shape1);
    measure(f.Image1, areas_.Image1);
    areas_.notice = noticeRect(f.notice);
    update();
}

template <class Control, std::size_t N>
void MainWindow::recordDrawn(const std::array<Control, N>& model, std::array<Control, N>& drawn,
                             std::array<QRect, N>& rects, QRect* area) {
    for (std::size_t i = 0; i < N; ++i) {
        if (paintsSame(model[i], drawn[i])) continue;
        drawn[i] = model[i];
        const QRect now = paintedRect(model[i]);
        const QRect changed = rects[i] | now;  // where it was and where it is
        rects[i] = now;
        if (area)
            *area |= changed;
        else if (!changed.isEmpty())
            update(changed);
    }
}

void MainWindow::invalidateChanged() {
    const MainForm& f = form();
    if (f.backColour != drawn_.backColour || !(f.font == drawn_.font)) {
        catchUp();  // every control paints on the background, and most in the window's font
        return;
    }
    // The graph repaints as one area when any of its parts changed (a new minute moves them all).
    QRect graph;
    recordDrawn(f.tgt, drawn_.tgt, areas_.tgt, &graph);
    recordDrawn(f.bar, drawn_.bar, areas_.bar, &graph);
    recordDrawn(f.lne, drawn_.lne, areas_.lne, &graph);
    recordDrawn(f.lbl, drawn_.lbl, areas_.lbl, &graph);
    recordDrawn(f.tme, drawn_.tme, areas_.tme, &graph);
    if (!graph.isEmpty()) update(graph);
    // Everything else by its own rectangle: a lamp blink repaints the lamp.
    recordDrawn(f.Label, drawn_.Label, areas_.Label, nullptr);
    recordDrawn(f.Shape1, drawn_.Shape1, areas_.Shape1, nullptr);
    recordDrawn(f.Image1, drawn_.Image1, areas_.Image1, nullptr);
    if (!paintsSame(f.notice, drawn_.notice)) {
        drawn_.notice = f.notice;
        const QRect now = noticeRect(f.notice);
        update(areas_.notice | now);
        areas_.notice = now;
    }
}

QRect MainWindow::paintedRect(const LabelControl& l) const {
    if (!l.visible) return {};
    QRect r = toPixels(l.geometry);
    if (r.isEmpty()) return {};
    if (l.transparent && !l.caption.empty()) {
        const QFontMetrics metrics(qtFont(l.font, form().font));
        // A glyph may reach a pixel or two past its advance.
        r |= metrics.boundingRect(r, labelTextFlags(l, metrics, r.height()), qtText(l.caption)).adjusted(-2, -2, 2, 2);
    }
    return r;
}

QRect MainWindow::noticeRect(const LabelControl& notice) const {
    return notice.visible && !notice.caption.empty() ? toPixels(notice.geometry) : QRect();
}

QRect MainWindow::paintedRect(const LineControl& l) const {
    if (!l.visible) return {};
    const int half = scale_.penWidth(l.width) / 2 + 1;
    return QRect(QPoint(px(l.x1), px(l.y1)), QPoint(px(l.x2), px(l.y2)))
        .normalized()
        .adjusted(-half, -half, half, half);
}

QRect MainWindow::paintedRect(const ShapeControl& s) const {
    return s.visible ? toPixels(s.geometry) : QRect();
}

QRect MainWindow::paintedRect(const ImageControl& i) const {
    return i.visible ? toPixels(i.geometry) : QRect();
}

void MainWindow::syncWidgets(bool all) {
    const MainForm& f = form();
    if (all) {
        drawn_.caption = f.caption;
        setWindowTitle(qtText(f.caption));
    }

    for (int k = 0; k < 3; ++k) {
        const ComboControl& m = f.Combo1[k];
        if (!all && !comboTouched_[k] && m == drawn_.Combo1[k]) continue;
        comboTouched_[k] = false;
        drawn_.Combo1[k] = m;
        QComboBox* combo = combo_[k];
        const QSignalBlocker block(combo);
        QStringList items;
        for (const std::string& item : m.items) items << qtText(item);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        if (shown != items) {
            combo->clear();
            combo->addItems(items);
        }
        if (combo->currentIndex() != m.listIndex) combo->setCurrentIndex(m.listIndex);
        if (m.editable && combo->currentText() != qtText(m.text)) combo->setEditText(qtText(m.text));
        combo->setEnabled(m.enabled);
    }

    const auto syncPair = [](const std::array<OptionControl, 2>& pair, const std::array<QRadioButton*, 2>& radios,
                             QButtonGroup* group) {
        const QSignalBlocker block0(radios[0]);
        const QSignalBlocker block1(radios[1]);
        group->setExclusive(false);
        for (int k = 0; k < 2; ++k) {
            radios[k]->setText(qtText(pair[k].caption));
            radios[k]->setChecked(pair[k].value);
            radios[k]->setEnabled(pair[k].enabled);
        }
        group->setExclusive(true);
    };
    if (all || pairTouched_[0] || f.Option1 != drawn_.Option1) {
        pairTouched_[0] = false;
        drawn_.Option1 = f.Option1;
        syncPair(f.Option1, option1_, group_[0]);
    }
    if (all || pairTouched_[1] || f.Option2 != drawn_.Option2) {
        pairTouched_[1] = false;
        drawn_.Option2 = f.Option2;
        syncPair(f.Option2, option2_, group_[1]);
    }

    for (int k = 0; k < 2; ++k) {
        const ButtonControl& m = f.cmd[k];
        if (!all && m == drawn_.cmd[k]) continue;
        drawn_.cmd[k] = m;
        QPushButton* button = cmd_[k];
        if (button->text() != qtText(m.caption)) button->setText(qtText(m.caption));
        if (button->toolTip() != qtText(m.toolTip)) button->setToolTip(qtText(m.toolTip));
        button->setEnabled(m.enabled);
        button->setVisible(m.visible);
        setBackColour(button, m.backColour, QPalette::Button);
    }
}

void MainWindow::syncWindowState() {
    const WindowState wanted = form().windowState;
    if (shownState_ == wanted) return;
    shownState_ = wanted;
    // A window manager may map a window normal although it was asked to show it minimised (the start
    // minimised): until the window reports the minimised state, a normal one is not the user's restore.
    const bool answerDue = wanted == WindowState::Minimised && !isVisible();
    requested_ = answerDue ? std::optional<WindowState>(wanted) : std::nullopt;
    requestsRepeated_ = 0;
    requestedAt_.start();
    applyWindowState(wanted);
}

void MainWindow::applyWindowState(WindowState wanted) {
    switch (wanted) {
        case WindowState::Normal:
            centreOnScreen();
            if (isMinimized())
                showNormal();
            else
                show();
            raise();
            activateWindow();
            break;
        case WindowState::Minimised:
            // Placed before it is mapped: a move of a window mapped minimised asks the window manager
            // for the normal state, and one still busy starting then never shows the window at all.
            centreOnScreen();
            showMinimized();
            break;
        case WindowState::Hidden:
            hide();
            break;
    }
}

void MainWindow::centreOnScreen() {
    if (centred_) return;
    centred_ = true;
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void MainWindow::showEvent(QShowEvent* event) {
    if (!isMinimized()) centreOnScreen();
    QWidget::showEvent(event);
    if (stale_ && onScreen()) catchUp();
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isVisible()) return;
    const WindowState now = isMinimized() ? WindowState::Minimised : WindowState::Normal;
    if (requested_) {
        if (now == *requested_) {
            requested_.reset();
            shownState_ = now;
            return;
        }
        // Mapped normal: not a restore by the user. The request is made again, a few times at most.
        if (requestsRepeated_ < kRequestRepeats && requestedAt_.elapsed() < kRequestPatienceMs) {
            ++requestsRepeated_;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (requested_) applyWindowState(*requested_);
                },
                Qt::QueuedConnection);
            return;
        }
        requested_.reset();
    }
    if (shownState_ == now) return;
    shownState_ = now;
    // Handled from the event loop: a state change can arrive inside showMinimized(), which would
    // show the window again right after the handler hid it in the notification area.
    QMetaObject::invokeMethod(
        this, [this, now] { dispatcher_.run([now](Context& ctx) { Form_Resize(ctx, now); }); }, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

bool MainWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) dispatcher_.run(Form_Activate);
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        QRect area;
        const QString text = toolTipAt(help->pos(), &area);
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this, area);
        }
        return true;
    }
    const bool handled = QWidget::event(event);
    // Shown again after a time minimised: draw what changed meanwhile.
    if (event->type() == QEvent::WindowStateChange && stale_ && onScreen()) catchUp();
    return handled;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        for (int k = 0; k < 2; ++k)
            if (watched == cmd_[k]) dispatcher_.run([k](Context& ctx) { cmd_MouseMove(ctx, k); });
    }
    return QWidget::eventFilter(watched, event);
}

int MainWindow::barAt(QPoint pos) const {
    const MainForm& f = form();
    // The "*" lies over the peak bar.
    for (int i : {graph::kPeakMarker, graph::kPeakBar})
        if (f.tgt[i].visible && toPixels(f.tgt[i].geometry).contains(pos)) return i;
    for (int i : graph::kMinuteBars)
        if (f.tgt[i].visible && toPixels(f.tgt[i].geometry).contains(pos)) return i;
    return -1;
}

bool MainWindow::overOtherControl(QPoint pos) const {
    const MainForm& f = form();
    const auto hit = [&](const auto& controls) {
        for (const auto& c : controls)
            if (c.visible && toPixels(c.geometry).contains(pos)) return true;
        return false;
    };
    return hit(f.Label) || hit(f.lbl) || hit(f.tme) || hit(f.Image1);
}

QString MainWindow::toolTipAt(QPoint pos, QRect* area) const {
    const MainForm& f = form();
    const int bar = barAt(pos);
    if (bar >= 0) {
        *area = toPixels(f.tgt[bar].geometry);
        return qtText(f.tgt[bar].toolTip);
    }
    if (f.notice.visible && toPixels(f.notice.geometry).contains(pos)) {
        *area = toPixels(f.notice.geometry);
        return qtText(f.notice.caption);  // the whole of it, also where the line is cut short
    }
    for (const ImageControl& image : f.Image1) {
        if (image.visible && !image.toolTip.empty() && toPixels(image.geometry).contains(pos)) {
            *area = toPixels(image.geometry);
            return qtText(image.toolTip);
        }
    }
    return {};
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int bar = barAt(pos);
    if (bar >= 0)
        dispatcher_.run([bar](Context& ctx) { tgt_MouseMove(ctx, bar); });
    else if (!overOtherControl(pos))
        dispatcher_.run(Form_MouseMove);

    // A tip already up follows the pointer: each element shows its own, current text.
    if (QToolTip::isVisible()) {
        QRect area;
        const QString text = toolTipAt(pos, &area);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(event->globalPosition().toPoint(), text, this, area);
    }

    bool ownPointer = false;
    for (const ImageControl& image : form().Image1)
        if (image.visible && image.ownPointer && toPixels(image.geometry).contains(pos)) ownPointer = true;
    if (ownPointer && !testAttribute(Qt::WA_SetCursor))
        setCursor(logoCursor());
    else if (!ownPointer && testAttribute(Qt::WA_SetCursor))
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void MainWindow::paintEvent(QPaintEvent* event) {
    const MainForm& f = form();
    QPainter p(this);
    const QRegion& region = event->region();
    p.fillRect(region.boundingRect(), qtColour(f.backColour));
    // Only what lies in the invalidated region is drawn. The rectangles are those of the last sync;
    // when the screen lags the model, everything is drawn.
    const auto inRegion = [&](const QRect& area) { return stale_ || region.intersects(area); };

    const auto paintShape = [&](const ShapeControl& s, const QRect& area) {
        if (!s.visible || !inRegion(area)) return;
        const QRect r = toPixels(s.geometry);
        p.fillRect(r, qtColour(s.backColour));
        p.setPen(QPen(qtColour(s.borderColour), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    const auto paintLine = [&](const LineControl& l, const QRect& area) {
        if (!l.visible || !inRegion(area)) return;
        QPen pen(qtColour(l.colour));
        pen.setWidth(scale_.penWidth(l.width));
        pen.setStyle(l.dotted ? Qt::DotLine : Qt::SolidLine);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(scale_.point(l.x1, l.y1), scale_.point(l.x2, l.y2));
    };
    const auto paintLabel = [&](const LabelControl& l, const QRect& area) {
        if (!l.visible || !inRegion(area)) return;
        const QRect r = toPixels(l.geometry);
        if (r.isEmpty()) return;
        if (!l.transparent) p.fillRect(r, qtColour(l.backColour));
        if (l.border) {
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
        if (l.caption.empty()) return;
        p.setFont(qtFont(l.font, f.font));
        p.setPen(qtColour(l.foreColour));
        p.drawText(r, labelTextFlags(l, p.fontMetrics(), r.height()), qtText(l.caption));
    };
    const Areas& a = areas_;

    // The panels of the right-hand column.
    for (int i : kPanels) paintShape(f.Shape1[i], a.Shape1[i]);

    // The graph: grid under the bars, bars, dose polyline, axes and alarm line on top.
    for (int i : graph::kCpmGrid) paintLine(f.lne[i], a.lne[i]);
    for (int i : graph::kDoseGrid) paintLine(f.lne[i], a.lne[i]);
    for (int i : graph::kBars) paintLabel(f.tgt[i], a.tgt[i]);
    for (std::size_t i = 0; i < f.bar.size(); ++i) paintLine(f.bar[i], a.bar[i]);
    for (int i : {graph::kCpmAxis, graph::kTimeAxis, kAlarmLine}) paintLine(f.lne[i], a.lne[i]);
    paintLabel(f.tgt[graph::kPeakMarker], a.tgt[graph::kPeakMarker]);
    for (std::size_t i = 0; i < f.lbl.size(); ++i) paintLabel(f.lbl[i], a.lbl[i]);
    for (std::size_t i = 0; i < f.tme.size(); ++i) paintLabel(f.tme[i], a.tme[i]);

    // Panel texts, lamps and readouts; the two messages last, over the graph.
    for (int i = 0; i < static_cast<int>(f.Label.size()); ++i)
        if (i != kStatusMessage && i != kAlarmBanner) paintLabel(f.Label[i], a.Label[i]);

    for (int i = 0; i < 2; ++i) {
        if (!f.Image1[i].visible || !inRegion(a.Image1[i])) continue;
        const QRect r = toPixels(f.Image1[i].geometry);
        if (pictures_[i].size() != r.size())
            pictures_[i] = i == kLogo ? logoPicture(r.size()) : axisArrowPicture(r.size());
        p.drawPixmap(r.topLeft(), pictures_[i]);
    }

    // The notice line: as long as it needs, cut in the middle (its paths) where it does not fit.
    if (f.notice.visible && !f.notice.caption.empty() && inRegion(a.notice)) {
        const QRect r = toPixels(f.notice.geometry);
        const QFont font = qtFont(f.notice.font, f.font);
        p.setFont(font);
        p.setPen(qtColour(f.notice.foreColour));
        const QString text = QFontMetrics(font).elidedText(qtText(f.notice.caption), Qt::ElideMiddle, r.width());
        // Without a background of its own it may show a glyph's edge past its rectangle.
        p.drawText(r, static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine | Qt::TextDontClip, text);
    }

    paintLabel(f.Label[kStatusMessage], a.Label[kStatusMessage]);
    paintShape(f.Shape1[kAlarmBox], a.Shape1[kAlarmBox]);
    paintLabel(f.Label[kAlarmBanner], a.Label[kAlarmBanner]);
}

}  // namespace rx47
