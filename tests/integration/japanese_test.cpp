// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Japanese throughout, offscreen: Qt's own dialogs speak Japanese, and the captions of both windows
// fit their controls and keep apart in each common Japanese font, IPA P Gothic (the program's) and
// Noto Sans CJK JP, with the widest texts the controls take.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "monitor/alarms.h"
#include "monitor/link.h"
#include "monitor/notices.h"
#include "setup/qt/setup_dialog.h"
#include "support/program_folder.h"
#include "ui/qt/conversions.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_desktop.h"
#include "ui/qt/translations.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

TEST(QtTranslations, QtsOwnDialogsSpeakJapaneseAndAMissingFileIsLoggedOnce) {
    test::RecordingLogSink lines;
    FailureLog log(&lines);
    const test::TempProgramFolder empty(test::TempProgramFolder::Settings::None);
    EXPECT_FALSE(installQtTranslations(log, QString::fromStdString(empty.path().string())));
    EXPECT_EQ(lines.count(LogCategory::Program, "qtbase_ja.qm"), 1);

    ASSERT_TRUE(installQtTranslations(log)) << "Qt's translations: Debian package qt6-translations-l10n";
    EXPECT_EQ(lines.lines.size(), 1u);

    QString title;
    QStringList texts;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* picker = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
        if (!picker) return;
        poll->stop();
        poll->deleteLater();
        title = picker->windowTitle();
        for (const QLabel* l : picker->findChildren<QLabel*>()) texts << l->text();
        for (const QPushButton* b : picker->findChildren<QPushButton*>()) texts << b->text();
        picker->reject();
    });
    poll->start(10);
    QtDesktop desktop;
    desktop.pickColour();
    EXPECT_EQ(title, QStringLiteral("色を選択"));
    EXPECT_TRUE(texts.contains(QStringLiteral("基本カラー(&B)"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("キャンセル"))) << texts.join(u'|').toStdString();
    EXPECT_FALSE(texts.contains(QStringLiteral("&Basic colors")));
}

std::string describe(const QRect& r) {
    std::ostringstream s;
    s << "x " << r.left() << "…" << r.right() << ", y " << r.top() << "…" << r.bottom();
    return s.str();
}

/// A window's texts as they are drawn: each one must lie inside the window and inside the control
/// that cuts it off, no two may cover each other, and none may cover another control or cross a frame
/// it stands in. Pixels of the window.
class Layout {
public:
    explicit Layout(const QWidget& window) : window_(window) {}

    /// Where the ink of `text` lands when drawn into `box` as the views draw it: found by drawing it,
    /// unclipped, on a transparent canvas.
    QRect ink(const QString& text, const QFont& font, const QRect& box, int flags) const {
        const QFontMetrics m(font, &window_);
        const int margin = m.horizontalAdvance(text) + 2 * m.height();
        const QRect canvas = box.adjusted(-margin, -margin, margin, margin);
        QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMeter = qRound(window_.logicalDpiX() / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(box.translated(-canvas.topLeft()), flags | Qt::TextSingleLine | Qt::TextDontClip, text);
        p.end();
        QRect drawn;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 0) drawn |= QRect(x, y, 1, 1);
        return drawn.translated(canvas.topLeft());
    }

    /// A text drawn into `box`; `clips`: the control shows nothing of it outside `box`.
    void text(const std::string& name, const QString& caption, const QFont& font, const QRect& box, int flags,
              bool clips, bool takesPlace = true) {
        const QRect drawn = ink(caption, font, box, flags);
        if (!window_.rect().contains(drawn))
            ADD_FAILURE() << name << " \"" << caption.toStdString() << "\" runs out of the window in "
                          << QFontInfo(font).family().toStdString() << ": its ink lies " << describe(drawn);
        if (clips && !box.contains(drawn))
            ADD_FAILURE() << name << " \"" << caption.toStdString() << "\" is cut off in "
                          << QFontInfo(font).family().toStdString() << ": its ink lies " << describe(drawn)
                          << ", the control " << describe(box);
        if (takesPlace) take(name + " \"" + caption.toStdString() + "\"", drawn, true);
    }
    /// A control without text of its own, or the whole of a widget.
    void take(const std::string& name, const QRect& area, bool isText = false) {
        taken_.push_back({name, area, isText});
    }
    /// A frame: whatever starts inside it stays inside it.
    void frame(const std::string& name, const QRect& area) { frames_.push_back({name, area, false}); }

    /// A widget's text, in the area its style gives the text. The widget takes the place of its ink
    /// and of `body`, what it draws besides (a check box's box, a button's face), in its own pixels.
    void widget(const std::string& name, const QWidget& w, const QString& caption, const QRect& textArea, int flags,
                const QRect& body = {}) {
        const QPoint at = w.mapTo(&window_, QPoint(0, 0));
        const QRect box = textArea.translated(at);
        text(name, caption, w.font(), box, flags, true, false);
        const QRect drawn = ink(caption, w.font(), box, flags) & w.rect().translated(at);
        take(name + " \"" + caption.toStdString() + "\"", body.isNull() ? drawn : drawn | body.translated(at), true);
    }

    void expectApart() const {
        for (std::size_t i = 0; i < taken_.size(); ++i) {
            for (std::size_t j = i + 1; j < taken_.size(); ++j) {
                const Area& a = taken_[i];
                const Area& b = taken_[j];
                if (!a.isText && !b.isText) continue;  // widgets lie where the design puts them
                if (a.area.intersects(b.area))
                    ADD_FAILURE() << a.name << " " << describe(a.area) << " and " << b.name << " " << describe(b.area)
                                  << " cover each other";
            }
        }
        for (const Area& f : frames_) {
            const QRect inside = f.area.adjusted(1, 1, -1, -1);  // inside its border
            for (const Area& a : taken_)
                if (inside.contains(a.area.center()) && !inside.contains(a.area))
                    ADD_FAILURE() << a.name << " " << describe(a.area) << " crosses the frame " << f.name << " "
                                  << describe(f.area);
        }
    }
    std::size_t texts() const {
        return static_cast<std::size_t>(
            std::count_if(taken_.begin(), taken_.end(), [](const Area& a) { return a.isText; }));
    }

private:
    struct Area {
        std::string name;
        QRect area;
        bool isText;
    };

    const QWidget& window_;
    std::vector<Area> taken_;
    std::vector<Area> frames_;
};

template <class Button>
QRect styleRect(const Button& b, QStyle::SubElement element) {
    QStyleOptionButton option;
    option.initFrom(&b);
    option.text = b.text();
    return b.style()->subElementRect(element, &option, &b);
}

QRect textArea(const QComboBox& c) {
    QStyleOptionComboBox option;
    option.initFrom(&c);
    option.editable = c.isEditable();
    option.currentText = c.currentText();
    const QRect field = c.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &c);
    return c.isEditable() ? field.adjusted(2, 0, -2, 0) : field.adjusted(1, 0, -1, 0);
}

std::string indexed(const char* name, std::size_t i) {
    return std::string(name) + "(" + std::to_string(i) + ")";
}

class JapaneseFont : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        substituteDesignFont(QString::fromUtf8(GetParam()));
        const QFont design(QString::fromUtf8(kDesignFont));
        ASSERT_EQ(QFontInfo(design).family(), QString::fromUtf8(GetParam()))
            << "the font is not installed (Debian packages fonts-ipafont-gothic, fonts-noto-cjk)";
    }
    void TearDown() override { substituteDesignFont(QString::fromLatin1(kSubstituteFont)); }
};

TEST_P(JapaneseFont, TheMainWindowsCaptionsFitAndKeepApart) {
    test::TestMonitor m;
    m.port.devices = {1};
    Form_Load(m.ctx);
    Dispatcher dispatcher(m.ctx);
    MainWindow window(dispatcher);
    MainForm& f = m.form;

    // The widest texts each control takes: the figures of a full scale, both messages and both
    // alarms, the button's two captions.
    for (int i : {kRealtimeCpm, kAverageCpm, kMaxCpm, kMinCpm, kRunningCpm}) f.Label[i].caption = "1000";
    for (int i : {kRealtimeDose, kAverageDose, kMaxDose, kMinDose, kRunningDose}) f.Label[i].caption = "12.50";
    f.Label[kTotalCount].caption = "123456789";
    for (int i = 1; i <= 10; ++i) f.lbl[i].caption = std::to_string(50 * i);
    for (int i = 0; i < 6; ++i) f.lbl[11 + i].caption = "0." + std::to_string(100 * (i + 1));
    for (auto& t : f.tme) {
        t.caption = "23:59";
        t.visible = true;
    }
    f.Combo1[1].items = {"1", "2", "256"};
    f.Combo1[1].text = "256";
    f.Label[kStatusMessage].visible = true;
    f.Label[kAlarmBanner].visible = true;
    const std::pair<const char*, const char*> messages[] = {{kSearchingText, kCpmAlarmText},
                                                            {kCheckConnectionText, kDoseAlarmText}};
    const char* buttonCaptions[] = {kResetCaption, kReSearchCaption};

    for (int state = 0; state < 2; ++state) {
        SCOPED_TRACE(state);
        f.Label[kStatusMessage].caption = messages[state].first;
        f.Label[kAlarmBanner].caption = messages[state].second;
        f.cmd[0].caption = buttonCaptions[state];
        // The notice line, with one notice and with both.
        recordsFailed(m.ctx, "record/2026_05/2026-05-07.csv: 読み取り専用ファイルシステムです", true);
        if (state == 1) {
            setNotice(m.ctx, Notice::PortPermission,
                      "/dev/ttyUSB0 を開く権限がありません。sudo adduser $USER dialout の後、ログインし直してください");
        }
        window.sync();
        ASSERT_EQ(QFontInfo(window.font()).family(), QString::fromUtf8(GetParam()));

        Layout layout(window);
        const auto label = [&](const std::string& name, const LabelControl& l) {
            if (!l.visible) return;
            const QRect box = window.toPixels(l.geometry);
            if (l.caption.empty()) {
                if (l.border) layout.take(name, box);  // a lamp
                return;
            }
            // Drawn as the view draws it; only a label with a background of its own cuts its text off.
            const QFont font = qtFont(l.font, f.font);
            const int flags = labelTextFlags(l, QFontMetrics(font, &window), box.height());
            layout.text(name, qtText(l.caption), font, box, flags, !(flags & Qt::TextDontClip));
        };
        for (std::size_t i = 0; i < f.Label.size(); ++i) label(indexed("Label", i), f.Label[i]);
        for (std::size_t i = 0; i < f.lbl.size(); ++i) label(indexed("lbl", i), f.lbl[i]);
        for (std::size_t i = 0; i < f.tme.size(); ++i) label(indexed("tme", i), f.tme[i]);
        {
            // Cut short in the middle where it is longer than its line.
            const QRect box = window.toPixels(f.notice.geometry);
            const QFont font = qtFont(f.notice.font, f.font);
            const QString line = QFontMetrics(font).elidedText(qtText(f.notice.caption), Qt::ElideMiddle, box.width());
            layout.text("notice", line, font, box, Qt::AlignLeft | Qt::AlignVCenter, false);
        }
        for (std::size_t i = 0; i < f.Image1.size(); ++i)
            layout.take(indexed("Image1", i), window.toPixels(f.Image1[i].geometry));
        for (int i : kPanels) layout.frame(indexed("Shape1", i), window.toPixels(f.Shape1[i].geometry));

        for (int k = 0; k < 2; ++k) {
            for (QRadioButton* option : {window.option1(k), window.option2(k)})
                layout.widget("option", *option, option->text(), styleRect(*option, QStyle::SE_RadioButtonContents),
                              Qt::AlignLeft | Qt::AlignVCenter, styleRect(*option, QStyle::SE_RadioButtonIndicator));
            QPushButton* button = window.button(k);
            layout.widget(indexed("cmd", k), *button, button->text(), styleRect(*button, QStyle::SE_PushButtonContents),
                          Qt::AlignCenter, button->rect());
        }
        for (int k = 0; k < 3; ++k) {
            const QComboBox& combo = *window.combo(k);
            QStringList entries{combo.currentText()};
            for (int i = 0; i < combo.count(); ++i) entries << combo.itemText(i);
            const QPoint at = combo.mapTo(&window, QPoint(0, 0));
            for (const QString& entry : entries)
                layout.text(indexed("Combo1", k), entry, combo.font(), textArea(combo).translated(at),
                            Qt::AlignLeft | Qt::AlignVCenter, true, false);
            layout.take(indexed("Combo1", k), combo.rect().translated(at), true);
        }
        EXPECT_GE(layout.texts(), 60u);
        layout.expectApart();
    }
}

TEST_P(JapaneseFont, TheSettingsDialogsCaptionsFitAndKeepApart) {
    // The supplied settings show the recording boxes; an old settings file the note in their place.
    for (auto settings : {test::TempProgramFolder::Settings::Supplied, test::TempProgramFolder::Settings::Legacy}) {
        test::TestMonitor m(settings);
        m.values.versionText = "1.2";
        m.values.cpmAlarmLevel = 65535;
        m.values.gammaCoefficient = 65535;
        Dispatcher dispatcher(m.ctx);
        SetupDialog dialog(dispatcher, nullptr);
        dialog.show();
        ASSERT_EQ(QFontInfo(dialog.font()).family(), QString::fromUtf8(GetParam()));

        Layout layout(dialog);
        for (const QCheckBox* box : dialog.findChildren<QCheckBox*>()) {
            if (!box->isVisible()) continue;
            layout.widget(box->objectName().toStdString(), *box, box->text(),
                          styleRect(*box, QStyle::SE_CheckBoxContents), Qt::AlignLeft | Qt::AlignVCenter,
                          styleRect(*box, QStyle::SE_CheckBoxIndicator));
        }
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            if (!label->isVisible()) continue;
            if (label->text().isEmpty())
                layout.take(label->objectName().toStdString(), label->geometry());  // a swatch
            else
                layout.widget(label->objectName().toStdString(), *label, label->text(), label->contentsRect(),
                              label->alignment());
        }
        for (const QWidget* w : dialog.findChildren<QLineEdit*>())
            layout.take(w->objectName().toStdString(), w->geometry());
        const QToolButton* soundTest = dialog.findChild<QToolButton*>();
        layout.take("sound test", soundTest->geometry());
        const SetupForm& f = dialog.form();
        const TwipScale scale = TwipScale::of(dialog);
        for (std::size_t i = 0; i < f.Shape1.size(); ++i)
            layout.frame(indexed("Shape1", i), scale.rect(f.Shape1[i].geometry));
        EXPECT_GE(layout.texts(), 15u);
        layout.expectApart();
    }
}

INSTANTIATE_TEST_SUITE_P(InEachFont, JapaneseFont, ::testing::Values("IPAPGothic", "Noto Sans CJK JP"),
                         [](const auto& info) {
                             return std::string(info.index == 0 ? "IPAPGothic" : "NotoSansCJKJP");
                         });

}  // namespace
}  // namespace rx47
