#include "ui/qt/main_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QMouseEvent>
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
#include "ui/qt/dispatcher.h"
#include "ui/qt/fonts.h"
#include "ui/qt/pictures.h"
#include "ui/startup.h"
#include "ui/window_mode.h"

namespace rx47 {

namespace {

QColor qtColour(Colour c) {
    return QColor(static_cast<int>(redOf(c)), static_cast<int>(greenOf(c)), static_cast<int>(blueOf(c)));
}

QString qtText(const std::string& text) {
    return QString::fromStdString(text);
}

void setBackColour(QWidget* w, Colour colour, QPalette::ColorRole role) {
    const QColor c = qtColour(colour);
    if (w->palette().color(role) == c) return;
    QPalette palette = w->palette();
    palette.setColor(role, c);
    w->setPalette(palette);
}

}  // namespace

MainWindow::MainWindow(Dispatcher& dispatcher, QWidget* parent) : QWidget(parent), dispatcher_(dispatcher) {
    installFontSubstitutions();
    pixelsPerTwip_ = logicalDpiX() / 1440.0;
    setFixedSize(px(form().clientWidth), px(form().clientHeight));
    setFont(qtFont(form().font, form().font));
    QToolTip::setFont(font());
    setWindowIcon(programIcon());
    setAutoFillBackground(true);
    setBackColour(this, form().backColour, QPalette::Window);
    setMouseTracking(true);
    buildWidgets();
    syncWidgets();  // the window itself appears with the first sync(), in the state the model says
}

const MainForm& MainWindow::form() const {
    return dispatcher_.context().form;
}

int MainWindow::px(Twips t) const {
    return qRound(t * pixelsPerTwip_);
}

QRect MainWindow::toPixels(const Geometry& g) const {
    const int left = px(g.left);
    const int top = px(g.top);
    return QRect(left, top, px(g.left + g.width) - left, px(g.top + g.height) - top);
}

QPointF MainWindow::toPixels(Twips x, Twips y) const {
    return QPointF(px(x), px(y));
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
            if (on) dispatcher_.run([k](Context& ctx) { Option1_Click(ctx, k); });
        });
        option2_[k] = makeOption(f.Option2[k], 1);
        connect(option2_[k], &QAbstractButton::toggled, this, [this, k](bool on) {
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
            dispatcher_.run([k, entry](Context& ctx) {
                pickEntry(ctx.form.Combo1[k], entry);
                Combo1_Click(ctx, k);
            });
        });
        if (f.Combo1[k].editable) {
            connect(combo, &QComboBox::editTextChanged, this, [this, k](const QString& text) {
                dispatcher_.run([k, text = text.toStdString()](Context& ctx) { ctx.form.Combo1[k].text = text; });
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
    syncWidgets();
    syncWindowState();
    update();
}

void MainWindow::syncWidgets() {
    const MainForm& f = form();
    const QString caption = qtText(f.caption);
    if (windowTitle() != caption) setWindowTitle(caption);

    for (int k = 0; k < 3; ++k) {
        const ComboControl& m = f.Combo1[k];
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
    syncPair(f.Option1, option1_, group_[0]);
    syncPair(f.Option2, option2_, group_[1]);

    for (int k = 0; k < 2; ++k) {
        const ButtonControl& m = f.cmd[k];
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
    centreOnScreen();
    QWidget::showEvent(event);
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
    return QWidget::event(event);
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
    for (int i : {82, 81})
        if (f.tgt[i].visible && toPixels(f.tgt[i].geometry).contains(pos)) return i;
    for (int i = 0; i <= 80; ++i)
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

void MainWindow::paintEvent(QPaintEvent*) {
    const MainForm& f = form();
    QPainter p(this);
    p.fillRect(rect(), qtColour(f.backColour));

    const auto paintShape = [&](const ShapeControl& s) {
        if (!s.visible) return;
        const QRect r = toPixels(s.geometry);
        p.fillRect(r, qtColour(s.backColour));
        p.setPen(QPen(qtColour(s.borderColour), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    const auto paintLine = [&](const LineControl& l) {
        if (!l.visible) return;
        QPen pen(qtColour(l.colour));
        pen.setWidth(std::max(1, qRound(l.width * 15 * pixelsPerTwip_)));
        pen.setStyle(l.dotted ? Qt::DotLine : Qt::SolidLine);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.drawLine(toPixels(l.x1, l.y1), toPixels(l.x2, l.y2));
    };
    const auto paintLabel = [&](const LabelControl& l) {
        if (!l.visible) return;
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

    // The panels of the right-hand column.
    for (int i : {0, 4, 1}) paintShape(f.Shape1[i]);

    // The graph: grid under the bars, bars, dose polyline, axes and alarm line on top.
    for (int i : {2, 3, 4, 5, 6, 8, 9, 10, 11, 12}) paintLine(f.lne[i]);
    for (int i = 0; i <= 81; ++i) paintLabel(f.tgt[i]);
    for (const LineControl& segment : f.bar) paintLine(segment);
    for (int i : {0, 1, kAlarmLine}) paintLine(f.lne[i]);
    paintLabel(f.tgt[82]);
    for (const LabelControl& l : f.lbl) paintLabel(l);
    for (const LabelControl& t : f.tme) paintLabel(t);

    // Panel texts, lamps and readouts; the two messages last, over the graph.
    for (int i = 0; i < static_cast<int>(f.Label.size()); ++i)
        if (i != kStatusMessage && i != kAlarmBanner) paintLabel(f.Label[i]);

    for (int i = 0; i < 2; ++i) {
        if (!f.Image1[i].visible) continue;
        const QRect r = toPixels(f.Image1[i].geometry);
        if (pictures_[i].size() != r.size()) pictures_[i] = i == 0 ? logoPicture(r.size()) : axisArrowPicture(r.size());
        p.drawPixmap(r.topLeft(), pictures_[i]);
    }

    // The notice line: as long as it needs, cut in the middle (its paths) where it does not fit.
    if (f.notice.visible && !f.notice.caption.empty()) {
        const QRect r = toPixels(f.notice.geometry);
        const QFont font = qtFont(f.notice.font, f.font);
        p.setFont(font);
        p.setPen(qtColour(f.notice.foreColour));
        const QString text = QFontMetrics(font).elidedText(qtText(f.notice.caption), Qt::ElideMiddle, r.width());
        // Without a background of its own it may show a glyph's edge past its rectangle.
        p.drawText(r, static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter) | Qt::TextSingleLine | Qt::TextDontClip, text);
    }

    paintLabel(f.Label[kStatusMessage]);
    paintShape(f.Shape1[2]);
    paintLabel(f.Label[kAlarmBanner]);
}

}  // namespace rx47
