// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main window's view on the offscreen platform: it paints the model, its widgets follow the
// model, and each user event reaches its handler. Also the dispatcher and the desktop adapter.
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolTip>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "display/trend_graph.h"
#include "monitor/notices.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "ui/qt/conversions.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_desktop.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

struct View : ::testing::Test {
    test::TestMonitor m;
    Dispatcher dispatcher{m.ctx};
    std::unique_ptr<MainWindow> window;
    int syncs = 0;

    void SetUp() override {
        m.port.devices = {1};
        Form_Load(m.ctx);
        window = std::make_unique<MainWindow>(dispatcher);
        dispatcher.setAfterEach([this] {
            ++syncs;
            window->sync();
        });
        window->sync();
    }
    void TearDown() override { window.reset(); }

    QImage image() {
        window->sync();
        return window->grab().toImage();
    }
    QPoint centreOf(const Geometry& g) { return window->toPixels(g).center(); }
    void moveTo(QWidget* target, QPoint pos) {
        QMouseEvent move(QEvent::MouseMove, pos, target->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
    }
};

/// How many pixels of `area` in the picture are as `is` says.
int pixels(const QImage& shot, const QRect& area, const std::function<bool(const QColor&)>& is) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += is(shot.pixelColor(x, y));
    return n;
}

TEST_F(View, TheWindowHasTheDesignSizeCaptionAndFontAndItsWidgetsFollowTheModel) {
    const double ppt = window->pixelsPerTwip();
    EXPECT_DOUBLE_EQ(ppt, window->logicalDpiX() / 1440.0);
    EXPECT_EQ(window->size(), QSize(qRound(12780 * ppt), qRound(7260 * ppt)));
    if (window->logicalDpiX() == 96) {
        EXPECT_EQ(window->size(), QSize(852, 484));
    }
    EXPECT_EQ(window->windowTitle(), QStringLiteral(" RX47 monitor"));
    EXPECT_TRUE(window->isVisible());

    // The design font is drawn with IPAPGothic, which has real glyphs for the Japanese captions.
    const QFont heading = qtFont({kDesignFont, 9, true}, m.form.font);
    EXPECT_EQ(QFontInfo(heading).family(), QStringLiteral("IPAPGothic"));
    const QFontMetrics metrics(heading);
    for (QChar c : QStringLiteral("受信送信エラー放射線検出数【警報】線量スケール"))
        EXPECT_TRUE(metrics.inFont(c)) << QString(c).toStdString();

    // The widgets follow the model.
    QComboBox* cpm = window->combo(0);
    ASSERT_EQ(cpm->count(), 4);
    EXPECT_EQ(cpm->itemText(3), QStringLiteral("500"));
    EXPECT_EQ(cpm->currentText(), QStringLiteral("100"));
    EXPECT_FALSE(cpm->isEditable());
    EXPECT_EQ(window->combo(2)->currentText(), QStringLiteral("0.400"));
    EXPECT_TRUE(window->combo(1)->isEditable());
    EXPECT_EQ(window->combo(1)->currentText(), QStringLiteral("1"));
    EXPECT_TRUE(window->option1(0)->isChecked());
    EXPECT_TRUE(window->option2(1)->isChecked());  // buzzer off in the supplied settings
    EXPECT_EQ(window->button(0)->toolTip(), QStringLiteral(" システムを初期化します "));

    m.form.cmd[0].enabled = false;
    m.form.cmd[0].caption = "再検索";
    m.form.Option2[0].value = true;
    m.form.Option2[1].value = false;
    m.form.caption = " RX47 monitor 【データ通信停止】";
    window->sync();
    EXPECT_FALSE(window->button(0)->isEnabled());
    EXPECT_EQ(window->button(0)->text(), QStringLiteral("再検索"));
    EXPECT_TRUE(window->option2(0)->isChecked());
    EXPECT_FALSE(window->option2(1)->isChecked());
    EXPECT_EQ(window->windowTitle(), QStringLiteral(" RX47 monitor 【データ通信停止】"));
}

TEST_F(View, ThePaintedGraphBannerAndNoticeShowTheModel) {
    m.values.gammaCoefficient = 120;
    setNewestBar(m.ctx, 50);  // half of full scale
    const QImage shot = image();
    const Colour graph = m.form.tgt[80].backColour;
    const QRect bar = window->toPixels(m.form.tgt[80].geometry);
    EXPECT_EQ(shot.pixelColor(bar.center()), qtColour(graph));
    EXPECT_EQ(shot.pixelColor(bar.center() - QPoint(0, bar.height())), QColor(Qt::white));  // above the bar
    EXPECT_EQ(shot.pixelColor(window->toPixels(m.form.tgt[79].geometry).center() - QPoint(0, 20)),
              QColor(Qt::white));  // an empty slot
    EXPECT_EQ(shot.pixelColor(centreOf(m.form.Label[kRxLamp].geometry)), qtColour(kLampDarkGreen));
    EXPECT_EQ(shot.pixelColor(centreOf(m.form.Label[kErrorLamp].geometry)), qtColour(kLampDarkRed));
    // Axis: a black pixel on the base line.
    EXPECT_EQ(shot.pixelColor(window->toPixels({4000, 6600, 1, 1}).topLeft()), QColor(Qt::black));

    // Japanese text is drawn as glyphs: the "受信" caption leaves dark pixels in its box.
    EXPECT_GT(
        pixels(shot, window->toPixels(m.form.Label[27].geometry), [](const QColor& c) { return c.lightness() < 100; }),
        20);

    // The alarm banner, once shown, is a red box at the top of the plot.
    m.form.Shape1[2].visible = true;
    m.form.Label[kAlarmBanner].visible = true;
    const QImage alarmed = image();
    const QRect box = window->toPixels(m.form.Shape1[2].geometry);
    EXPECT_EQ(alarmed.pixelColor(box.topLeft() + QPoint(3, 3)), QColor(Qt::red));
    EXPECT_GT(pixels(alarmed, box, [](const QColor& c) { return c.red() > 200 && c.green() > 200 && c.blue() < 100; }),
              100);  // the yellow text

    // A notice is drawn at the foot of the window and tells its whole text on hover.
    const QRect strip = window->toPixels(m.form.notice.geometry);
    EXPECT_LE(strip.bottom(), window->height());
    const auto reddish = [&](const QImage& picture) {
        return pixels(picture, strip, [](const QColor& c) { return c.red() > 120 && c.green() < 80 && c.blue() < 80; });
    };
    EXPECT_EQ(reddish(image()), 0);
    const std::string text = "測定結果を " + std::string(300, 'x') + " に記録できません（Read-only file system）";
    setNotice(m.ctx, Notice::Records, text);
    EXPECT_GT(reddish(image()), 50);
    QRect area;
    EXPECT_EQ(window->toolTipAt(strip.center(), &area).toStdString(), text);
}

TEST_F(View, AScalePickOptionButtonsAndAMoveOverAButtonReachTheirHandlersOnceLoadingIsOver) {
    QComboBox* cpm = window->combo(0);
    // While loading the pick only changes the list's own text.
    m.state.isLoading = true;
    emit cpm->activated(3);
    EXPECT_EQ(m.form.Combo1[0].text, "500");
    EXPECT_EQ(m.form.lbl[10].caption, "100");

    dispatcher.run(Form_Activate);
    emit cpm->activated(0);
    EXPECT_EQ(m.form.Combo1[0].listIndex, 0);
    EXPECT_EQ(m.form.lbl[10].caption, "50");
    EXPECT_EQ(m.values.cpmScaleFactor, 120);
    EXPECT_EQ(cpm->currentText(), QStringLiteral("50"));

    window->combo(1)->setEditText(QStringLiteral("7"));
    EXPECT_EQ(m.form.Combo1[1].text, "7");

    // Option buttons show what the model says after their handler.
    window->option1(1)->click();
    EXPECT_EQ(window->option1(0)->isChecked(), m.form.Option1[0].value);
    EXPECT_EQ(window->option1(1)->isChecked(), m.form.Option1[1].value);
    window->option2(0)->click();
    EXPECT_EQ(window->option2(0)->isChecked(), m.form.Option2[0].value);
    EXPECT_EQ(window->option2(1)->isChecked(), m.form.Option2[1].value);

    // A move over a button is the button's own: cmd_MouseMove, and no window move after it.
    m.state.hoverButton = 1;
    const int before = syncs;
    moveTo(window->button(1), QPoint(5, 5));
    EXPECT_EQ(syncs, before + 1);
    EXPECT_EQ(m.state.hoverButton, 1);
}

TEST_F(View, MouseMovesOverBarsSetTheirToolTipsAndAToolTipEventShowsTheTipUnderThePointer) {
    m.values.gammaCoefficient = 120;
    setNewestBar(m.ctx, 25);
    m.form.Label[kMaxCpm].caption = "25";
    m.form.Label[kMaxDose].caption = "0.208";
    m.state.maxCpm = 25;
    movePeakMarkers(m.ctx, 25);
    window->sync();

    const QPoint bar = centreOf(m.form.tgt[graph::kNewest].geometry);
    EXPECT_EQ(window->barAt(bar), 80);
    moveTo(window.get(), bar);
    EXPECT_EQ(m.form.tgt[80].toolTip, "25");

    const QPoint star = centreOf(m.form.tgt[82].geometry);
    EXPECT_EQ(window->barAt(star), 82);  // the "*" lies over the peak bar
    moveTo(window.get(), star);
    EXPECT_EQ(m.form.tgt[82].toolTip, " 最大線量 ： 0.208μSv/h  ");
    const Geometry& peak = m.form.tgt[81].geometry;
    moveTo(window.get(), window->toPixels(peak).center() + QPoint(0, window->toPixels(peak).height() / 3));
    EXPECT_EQ(m.form.tgt[81].toolTip, " 最大CPM ： 25 ");

    const auto askAt = [&](QPoint pos) {
        QHelpEvent help(QEvent::ToolTip, pos, window->mapToGlobal(pos));
        QApplication::sendEvent(window.get(), &help);
    };
    const auto shown = [](const QString& text) {
        return test::runEventsUntil([&] { return QToolTip::isVisible() && QToolTip::text() == text; },
                                    std::chrono::seconds(5));
    };
    askAt(bar);
    EXPECT_TRUE(shown(QStringLiteral("25")));
    askAt(centreOf(m.form.Image1[kLogo].geometry));
    EXPECT_TRUE(shown(qtText(m.form.Image1[kLogo].toolTip)));
    EXPECT_EQ(QToolTip::text(), QStringLiteral(" RX47 monitor  version 1.2 "));
    askAt(window->toPixels(m.form.lbl[graph::kCpmTitle].geometry).center());  // a label without a tip
    EXPECT_TRUE(test::runEventsUntil([] { return !QToolTip::isVisible(); }, std::chrono::seconds(5)));

    // Hidden elements take no mouse moves.
    m.form.tgt[81].visible = false;
    m.form.tgt[82].visible = false;
    window->sync();
    EXPECT_EQ(window->barAt(star), -1);
    EXPECT_EQ(window->barAt(centreOf(m.form.tgt[10].geometry)), -1);
}

/// Records the paint events a widget receives.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget* target) { target->installEventFilter(this); }
    std::vector<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

/// Every paint that `act` causes, once the event loop has served what it asked for.
std::vector<QRegion> paintsOf(QWidget* window, const std::function<void()>& act) {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();  // what is already due
    PaintRecorder recorder(window);
    act();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
    return recorder.regions;
}

TEST_F(View, RepaintsOnlyWhatChanged) {
    const QRect lamp = window->toPixels(m.form.Label[kRxLamp].geometry);
    const QRect readout = window->toPixels(m.form.Label[kRealtimeCpm].geometry);
    const QRect graph = window->toPixels({0, 0, 9400, 7260});

    // A handler that changes nothing visible paints nothing.
    EXPECT_TRUE(paintsOf(window.get(), [&] { dispatcher.run(Form_Activate); }).empty());
    EXPECT_TRUE(paintsOf(window.get(), [&] { dispatcher.run([](Context&) {}); }).empty());

    // A blink of the receive lamp repaints the lamp (bright, then dim) and nothing else; the tick
    // that dims it ends the blink, and nothing ticks or paints after it.
    m.timers.setTickHandler([this](int index) { dispatcher.run([index](Context& c) { onTimerTick(c, index); }); });
    m.timers.start(timer::kRxLamp);
    for (int tick = 0; tick < 2; ++tick) {
        const auto paints = paintsOf(window.get(), [&] { m.timers.advance(50); });
        ASSERT_EQ(paints.size(), 1u) << "tick " << tick;
        EXPECT_EQ(paints[0], QRegion(lamp)) << "tick " << tick;
    }
    EXPECT_TRUE(paintsOf(window.get(), [&] { m.timers.advance(50); }).empty());
    EXPECT_FALSE(m.timers.isRunning(timer::kRxLamp));
    EXPECT_EQ(m.form.Label[kRxLamp].backColour, kLampDarkGreen);

    // A new reading repaints its readouts; many handlers in one turn of the event loop, one paint.
    auto paints = paintsOf(window.get(), [&] {
        for (int i = 0; i < 5; ++i)
            dispatcher.run([i](Context& c) { c.form.Label[kRealtimeCpm].caption = std::to_string(20 + i); });
    });
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_TRUE(paints[0].contains(readout));
    EXPECT_FALSE(paints[0].intersects(lamp));
    EXPECT_FALSE(paints[0].intersects(graph));

    // A new minute's bar repaints the graph, not the panels.
    m.values.gammaCoefficient = 120;
    paints = paintsOf(window.get(), [&] { dispatcher.run([](Context& c) { setNewestBar(c, 50); }); });
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_TRUE(paints[0].contains(window->toPixels(m.form.tgt[80].geometry).center()));
    EXPECT_FALSE(paints[0].intersects(lamp));
    EXPECT_FALSE(paints[0].intersects(readout));
    // A tool tip is not painted.
    EXPECT_TRUE(
        paintsOf(window.get(), [&] { dispatcher.run([](Context& c) { c.form.tgt[80].toolTip = "50"; }); }).empty());
    // What was painted is what the model says.
    EXPECT_EQ(window->grab().toImage().pixelColor(window->toPixels(m.form.tgt[80].geometry).center()),
              qtColour(m.form.tgt[80].backColour));
}

TEST_F(View, TheWindowTakesTheModelsStateAndMinimisedNothingIsDrawnUntilItIsShown) {
    m.form.windowState = WindowState::Hidden;
    window->sync();
    EXPECT_FALSE(window->isVisible());
    m.form.windowState = WindowState::Normal;
    window->sync();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    m.form.windowState = WindowState::Minimised;
    window->sync();
    ASSERT_TRUE(window->isMinimized());
    const auto paints = paintsOf(window.get(), [&] {
        for (int i = 0; i < 10; ++i) {
            dispatcher.run([i](Context& c) {
                c.form.Label[kRxLamp].backColour = i % 2 ? kLampGreen : kLampDarkGreen;
                c.form.Label[kRealtimeCpm].caption = std::to_string(30 + i);
                c.form.cmd[0].caption = "再検索";
                c.form.Option2[0].value = true;
                c.form.Option2[1].value = false;
            });
        }
    });
    EXPECT_TRUE(paints.empty());
    EXPECT_EQ(window->button(0)->text(), QStringLiteral("リセット"));  // no widget work either

    m.form.windowState = WindowState::Normal;
    const auto shown = paintsOf(window.get(), [&] { window->sync(); });
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown.back().contains(window->rect()));
    EXPECT_EQ(window->button(0)->text(), QStringLiteral("再検索"));
    EXPECT_TRUE(window->option2(0)->isChecked());
    const QImage shot = image();
    EXPECT_EQ(shot.pixelColor(centreOf(m.form.Label[kRxLamp].geometry)), qtColour(kLampGreen));
}

int dataEvents = 0;
void countDataEvent(Context&) {
    ++dataEvents;
}

TEST(Dispatcher, NothingAHandlerThrowsEscapesAndARepeatableHandlerRunsOnceUntilAnotherHandlerRuns) {
    test::TestMonitor m;
    Dispatcher dispatcher(m.ctx);
    int syncs = 0;
    dispatcher.setAfterEach([&] { ++syncs; });
    // The sync runs all the same.
    EXPECT_NO_THROW(dispatcher.run([](Context&) { throw Overflow("too big"); }));
    EXPECT_NO_THROW(dispatcher.run([](Context&) { throw std::logic_error("a bug"); }));
    EXPECT_NO_THROW(dispatcher.run([](Context&) { throw 42; }));
    EXPECT_EQ(syncs, 3);

    for (int i = 0; i < 100; ++i) dispatcher.runCollapsing(countDataEvent);  // a flood between two ticks
    EXPECT_EQ(dataEvents, 1);
    EXPECT_EQ(syncs, 4);
    dispatcher.run([](Context&) {});  // a timer tick
    dispatcher.runCollapsing(countDataEvent);
    dispatcher.runCollapsing(countDataEvent);
    EXPECT_EQ(dataEvents, 2);
    EXPECT_EQ(syncs, 6);
}

// The message box and the colour picker are checked with the desktop's contract (tests/contract).
TEST(Desktop, TheSplashCanBeClosedWhetherShownOrNot) {
    QtDesktop desktop;
    desktop.closeSplash();
    desktop.showSplash();
    EXPECT_TRUE(desktop.splashShown());
    desktop.closeSplash();  // before the event loop has put it up: it never appears
    QApplication::processEvents();
    EXPECT_FALSE(desktop.splashShown());
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && w->windowType() == Qt::SplashScreen);
}

}  // namespace
}  // namespace rx47
