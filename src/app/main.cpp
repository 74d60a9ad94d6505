// RX47 monitor: wires the core to its Qt adapters and views, and runs the event loop.
#include <QApplication>
#include <QEventLoop>
#include <clocale>
#include <filesystem>
#include <memory>

#include "base/failure.h"
#include "device/link.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/event_pump.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "platform/qt/system_clock.h"
#include "platform/wave_player.h"
#include "storage/settings_row.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/fonts.h"
#include "ui/qt/main_window.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_desktop.h"
#include "ui/startup.h"
#include "ui/tray.h"

namespace {

/// No sound yet: every playback fails at once.
class SilentPlayer : public rx47::WavePlayer {
public:
    void setCompletionHandler(std::function<void()>) override {}
    void open(const std::filesystem::path&) override { throw rx47::FileError("no sound"); }
    void play() override { throw rx47::FileError("no sound"); }
    void stop() override {}
    void rewind() override {}
    void close() override {}
    std::chrono::milliseconds length() const override { return {}; }
};

class QtPump : public rx47::EventPump {
public:
    void processEvents(std::chrono::milliseconds wait) override {
        QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(wait.count()));
    }
    std::chrono::milliseconds now() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Qt takes the locale from the environment; the program's numbers always use "." as point.
    std::setlocale(LC_NUMERIC, "C");
    // The program ends when its main window is closed, not when the splash goes or the window hides
    // in the notification area.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStringLiteral("Fusion"));
    rx47::installFontSubstitutions();
    QApplication::setWindowIcon(rx47::programIcon());
    const std::filesystem::path programFolder = QCoreApplication::applicationDirPath().toStdString();

    rx47::MainForm form = rx47::makeMainForm();
    rx47::MonitorState state;
    rx47::ProgramValues values;
    rx47::SettingsRow settings;
    rx47::QtSerialPort port(programFolder);
    rx47::QtTimerArray timers;
    rx47::SystemClock clock;
    rx47::QtDesktop desktop;
    SilentPlayer player;
    QtPump pump;
    rx47::Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, programFolder};

    // Every event reaches the core through the dispatcher, which then brings the window in step.
    rx47::Dispatcher dispatcher(ctx);
    rx47::MainWindow window(dispatcher);
    dispatcher.setAfterEach([&window] { window.sync(); });
    desktop.setContext(&ctx);
    desktop.setMainWindow(&window);
    desktop.setTrayPressHandler([&dispatcher](rx47::TrayButton button) {
        dispatcher.run([button](rx47::Context& c) { rx47::taskicon_MouseDown(c, button); });
    });
    timers.setTickHandler(
        [&dispatcher](int index) { dispatcher.run([index](rx47::Context& c) { rx47::onTimerTick(c, index); }); });
    port.setDataReceivedHandler([&dispatcher] { dispatcher.run(rx47::onDataReceived); });
    QObject::connect(&window, &rx47::MainWindow::closed, &app, &QCoreApplication::quit);

    // The load handler; its sync shows the window as the start-up chose (normal, minimised or hidden).
    dispatcher.run(rx47::Form_Load);
    const int result = app.exec();
    // Until the shutdown sequence is built: keep what was chosen during the run.
    try {
        settings.commit();
    } catch (...) {
    }
    return result;
}
