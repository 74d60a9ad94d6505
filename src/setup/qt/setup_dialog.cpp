// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "setup/qt/setup_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <utility>

#include "model/context.h"
#include "setup/setup.h"
#include "ui/qt/conversions.h"
#include "ui/qt/dispatcher.h"

namespace rx47 {

namespace {

/// The position in UTF-16 units of the character `chars` of a UTF-8 text (the model counts characters).
int utf16Offset(const std::string& utf8, int chars) {
    std::size_t byte = 0;
    for (int n = 0; byte < utf8.size(); ++byte) {
        if ((static_cast<unsigned char>(utf8[byte]) & 0xC0) != 0x80 && n++ == chars) break;
    }
    return static_cast<int>(qtText(utf8.substr(0, byte)).size());
}

/// The frame a window manager put around a window (the title bar and borders).
QMargins frameMargins(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

/// The sound-test button's 16 × 15 picture: a small loudspeaker with two sound waves.
QPixmap speakerPicture() {
    QPixmap picture(16, 15);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(QColor(64, 64, 64));
    p.drawRect(QRectF(1.5, 5.5, 3, 4));
    QPainterPath cone;
    cone.moveTo(4.5, 5.5);
    cone.lineTo(8.5, 1.5);
    cone.lineTo(8.5, 13.5);
    cone.lineTo(4.5, 9.5);
    cone.closeSubpath();
    p.drawPath(cone);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 128), 1.2));
    p.drawArc(QRectF(7, 4.5, 5, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(7, 2, 8.5, 11), -55 * 16, 110 * 16);
    return picture;
}

}  // namespace

SetupDialog::SetupDialog(Dispatcher& dispatcher, QWidget* parent)
    : QDialog(parent), dispatcher_(dispatcher), ctx_(dispatcher.context()), form_(setup::makeSetupForm()) {
    // Fixed single border with only a close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);
    setMouseTracking(true);
    scale_ = TwipScale::of(*this);

    installFontSubstitutions();
    setFont(qtFont(form_.font, form_.font));

    for (int i = 0; i < static_cast<int>(check_.size()); ++i) {
        auto* box = new QCheckBox(this);
        box->setObjectName(QStringLiteral("Check1_%1").arg(i));
        box->setCursor(Qt::PointingHandCursor);
        connect(box, &QCheckBox::clicked, this,
                [this, i](bool checked) { handle([&] { setup::setCheck(ctx_, form_, i, checked); }); });
        check_[i] = box;
    }
    for (int i = 0; i < static_cast<int>(text_.size()); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("txt_%1").arg(i));
        connect(edit, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { handle([&] { setup::txt_Change(form_, i, stdText(text)); }); });
        text_[i] = edit;
    }
    for (int i = 0; i < static_cast<int>(label_.size()); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->installEventFilter(this);
        if (isSwatch(i)) {
            label->setFrameShape(QFrame::Box);
            label->setAutoFillBackground(true);
            label->setCursor(Qt::PointingHandCursor);
        }
        label_[i] = label;
    }
    soundTest_ = new QToolButton(this);
    soundTest_->setObjectName(QStringLiteral("cmd"));
    soundTest_->setIcon(QIcon(speakerPicture()));
    soundTest_->setIconSize(QSize(16, 15));
    soundTest_->setCursor(Qt::PointingHandCursor);
    soundTest_->setMouseTracking(true);
    // A move over the button is the button's own: passed on to the dialog, the dialog's hover reset
    // would put the colour straight back.
    soundTest_->setAttribute(Qt::WA_NoMousePropagation);
    soundTest_->installEventFilter(this);
    connect(soundTest_, &QToolButton::clicked, this, [this] { handle([&] { setup::cmd_Click(ctx_, form_); }); });

    setFixedSize(scale_.px(form_.clientWidth), scale_.px(form_.clientHeight));
    dispatcher_.setDialogSync([this] { sync(); });
    handle([&] { setup::Form_Load(ctx_, form_); });
}

SetupDialog::~SetupDialog() {
    dispatcher_.setDialogSync({});
}

template <class Handler>
void SetupDialog::handle(Handler&& handler) {
    touched_ = true;
    dispatcher_.run([&](Context&) { handler(); });
}

void SetupDialog::sync() {
    // The main window's ticks run through the dispatcher as well: the dialog renders only what they
    // changed in its model, not at every lamp blink.
    if (!touched_ && form_ == rendered_) return;
    touched_ = false;
    rendered_ = form_;
    render();
}

void SetupDialog::place(QWidget* w, const Geometry& g) const {
    w->setGeometry(scale_.rect(g));
}

void SetupDialog::render() {
    setWindowTitle(qtText(form_.caption));
    for (int i = 0; i < static_cast<int>(check_.size()); ++i) {
        const CheckBoxControl& c = form_.Check1[i];
        QCheckBox* box = check_[i];
        const QSignalBlocker quiet(box);
        box->setText(qtText(c.caption));
        box->setChecked(c.value);
        box->setEnabled(c.enabled);
        place(box, c.geometry);
        box->setVisible(c.visible);
    }
    for (int i = 0; i < static_cast<int>(text_.size()); ++i) {
        const TextBoxControl& t = form_.txt[i];
        QLineEdit* edit = text_[i];
        const QSignalBlocker quiet(edit);
        if (edit->text() != qtText(t.text)) edit->setText(qtText(t.text));
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, qtColour(t.backColour));
        // A disabled box keeps its background and greys its text.
        palette.setColor(QPalette::Active, QPalette::Text, qtColour(t.foreColour));
        palette.setColor(QPalette::Inactive, QPalette::Text, qtColour(t.foreColour));
        edit->setPalette(palette);
        edit->setEnabled(t.enabled);
        place(edit, t.geometry);
        edit->setVisible(t.visible);
    }
    for (int i = 0; i < static_cast<int>(label_.size()); ++i) {
        const LabelControl& l = form_.Label1[i];
        QLabel* label = label_[i];
        label->setText(qtText(l.caption));
        label->setToolTip(qtText(l.toolTip));
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, qtColour(l.foreColour));
        palette.setColor(QPalette::Window, qtColour(l.backColour));
        label->setPalette(palette);
        label->setAlignment(qtAlignment(l.align) | Qt::AlignVCenter);
        label->setEnabled(l.enabled);
        place(label, l.geometry);
        label->setVisible(l.visible);
    }
    const ButtonControl& b = form_.cmd;
    soundTest_->setToolTip(qtText(b.toolTip));
    soundTest_->setText(qtText(b.caption));
    // The graphical style: the button's own colour shows, also while the pointer is over it.
    const QString style = QStringLiteral(
                              "QToolButton { background-color: %1; border: 1px solid #808080; }"
                              "QToolButton:pressed { border-style: inset; }")
                              .arg(qtColour(b.backColour).name());
    if (style != soundTestStyle_) soundTest_->setStyleSheet(soundTestStyle_ = style);
    soundTest_->setEnabled(b.enabled);
    place(soundTest_, b.geometry);
    soundTest_->setVisible(b.visible);

    if (form_.focusMoves != focusMovesShown_ && form_.focusedText >= 0 &&
        form_.focusedText < static_cast<int>(text_.size())) {
        focusMovesShown_ = form_.focusMoves;
        const TextBoxControl& t = form_.txt[form_.focusedText];
        QLineEdit* edit = text_[form_.focusedText];
        const int start = utf16Offset(t.text, t.selStart);
        edit->setSelection(start, utf16Offset(t.text, t.selStart + t.selLength) - start);
        edit->setFocus(Qt::OtherFocusReason);
    }
    update();
}

void SetupDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    for (const ShapeControl& shape : form_.Shape1) {
        if (!shape.visible) continue;
        p.setPen(qtColour(shape.borderColour));
        p.drawRect(scale_.rect(shape.geometry).adjusted(0, 0, -1, -1));
    }
}

void SetupDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (centred_) return;
    centred_ = true;
    // Centred over the main window's frame. Before this window is mapped its own frame is not known:
    // the main window's stands in for it (one window manager draws both), and once the window manager
    // has framed this one the position is checked against its real frame.
    centreOverParent();
    QTimer::singleShot(kFrameSettleTime, this, [this] { centreOverParent(); });
}

void SetupDialog::centreOverParent() {
    const QWidget* parent = parentWidget() ? parentWidget()->window() : nullptr;
    if (!parent || !parent->isVisible()) return;
    const bool framed = frameGeometry() != geometry();
    const QMargins margins = framed ? frameMargins(*this) : frameMargins(*parent);
    QRect frame = geometry().marginsAdded(margins);
    frame.moveCenter(parent->frameGeometry().center());
    const QPoint clientTopLeft = frame.topLeft() + QPoint(margins.left(), margins.top());
    if (clientTopLeft != geometry().topLeft()) setGeometry(QRect(clientTopLeft, size()));
}

void SetupDialog::mouseMoveEvent(QMouseEvent* event) {
    handle([&] { setup::Form_MouseMove(form_); });
    QDialog::mouseMoveEvent(event);
}

bool SetupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == soundTest_ && event->type() == QEvent::MouseMove) {
        handle([&] { setup::cmd_MouseMove(form_); });
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        for (int i = 0; i < static_cast<int>(label_.size()); ++i) {
            if (watched != label_[i]) continue;
            if (mouse->button() == Qt::LeftButton && label_[i]->rect().contains(mouse->position().toPoint()))
                handle([&] { setup::Label1_Click(ctx_, form_, i); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SetupDialog::closeEvent(QCloseEvent* event) {
    // A close event comes from the close box, the system menu or the keyboard's close command, or
    // from the session manager at logout; the end of the program has closed it already.
    if (closedAtEnd_) {
        event->accept();
        return;
    }
    const int reason = qGuiApp->isSavingSession() ? setup::kCloseBySystem : setup::kCloseFromControlMenu;
    bool keepOpen = false;
    handle([&] { keepOpen = setup::Form_QueryUnload(ctx_, form_, reason); });
    if (keepOpen) {
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Accepted);
}

void SetupDialog::closeAtProgramEnd() {
    if (closedAtEnd_) return;
    closedAtEnd_ = true;
    handle([&] { setup::Form_QueryUnload(ctx_, form_, setup::kCloseBySystem); });
    done(QDialog::Accepted);
}

void runSetupDialog(Dispatcher& dispatcher, QWidget* parent) {
    SetupDialog dialog(dispatcher, parent);
    dialog.exec();
}

void closeSetupDialogAtProgramEnd() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = dynamic_cast<SetupDialog*>(window); dialog && dialog->isVisible())
            dialog->closeAtProgramEnd();
}

}  // namespace rx47
