// RX47 monitor: wires the core to its Qt adapters and views, and runs the event loop.
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <filesystem>
#include <memory>

#include "app/command_line.h"
#include "base/log.h"
#include "device/link.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/qt/on_demand_wave_player.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_log_sink.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "platform/qt/single_instance.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/termination_signals.h"
#include "storage/folder_trust.h"
#include "storage/settings_row.h"
#include "ui/qt/conversions.h"
#include "ui/qt/dispatcher.h"
#include "ui/qt/main_window.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_desktop.h"
#include "ui/qt/translations.h"
#include "ui/shutdown.h"
#include "ui/startup.h"
#include "ui/tray.h"
#include "ui/window_mode.h"

namespace {

/// The program cannot start: the log says why, and so does a message box where anyone can see one
/// (not on the offscreen platform of a service or a test).
int refuseToStart(rx47::FailureLog& log, const std::string& why) {
    log.warn(rx47::LogCategory::Program, why);
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        QMessageBox::critical(
            nullptr, QStringLiteral(" RX47 monitor"),
            QStringLiteral("プログラムフォルダを使えないため、起動できません。\n\n") + QString::fromStdString(why));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer on a terminal without a display, too.
    if (rx47::asksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        rx47::readCommandLine(app);
    }
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(rx47::kDesktopId));
    const rx47::CommandLine commandLine = rx47::readCommandLine(app);
    const std::filesystem::path& programFolder = commandLine.programFolder;
    // Qt takes the locale from the environment; the program's numbers always use "." as point.
    std::setlocale(LC_NUMERIC, "C");
    // The program ends when its main window is closed, not when the splash goes or the window hides
    // in the notification area.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(QStringLiteral("Fusion"));
    rx47::installFontSubstitutions();
    QApplication::setWindowIcon(rx47::programIcon());
    rx47::QtLogSink logSink;
    rx47::FailureLog log(&logSink);
    // Qt's own dialogs in Japanese (after the command line, whose answers stay in English).
    rx47::installQtTranslations(log);
    // A folder another user made or can write is refused before anything in it is touched.
    if (const std::string refusal = rx47::programFolderRefusal(programFolder, ::geteuid()); !refusal.empty())
        return refuseToStart(log, refusal);
    rx47::prepareProgramFolder(programFolder, log);
    rx47::reportCommandLine(commandLine, log);
    // The settings file's key derivation takes tens of milliseconds: it runs on a worker while the
    // fonts and the window are built, and the start-up's opening of the settings takes its result.
    rx47::SettingsOpenedAhead settingsAhead(programFolder);
    // One copy per program folder: a second one brings the first forward and ends.
    rx47::SingleInstance instance(programFolder, log);
    if (!instance.claim()) {
        log.warn(rx47::LogCategory::Instance,
                 "another copy already runs in " + programFolder.string() + "; brought its window forward");
        return 0;
    }

    rx47::MainForm form = rx47::makeMainForm();
    rx47::MonitorState state;
    rx47::ProgramValues values;
    rx47::SettingsRow settings;
    settings.setLog(&log);
    settings.setOpener(settingsAhead.opener());
    rx47::QtSerialPort port(programFolder);
    rx47::QtTimerArray timers;
    port.setLog(&log);
    timers.setLog(&log);
    rx47::SystemClock clock;
    rx47::QtDesktop desktop;
    rx47::OnDemandWavePlayer player;
    rx47::QtEventPump pump;
    rx47::QtCommandRunner commands;
    rx47::Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, programFolder, log};
    ctx.reporting = commandLine.reporting;
    ctx.commandRunner = &commands;

    // Every event reaches the core through the dispatcher, which then brings the windows in step.
    rx47::Dispatcher dispatcher(ctx);
    rx47::MainWindow window(dispatcher);
    dispatcher.setAfterEach([&window] { window.sync(); });
    desktop.setDispatcher(&dispatcher);
    desktop.setMainWindow(&window);
    desktop.setTrayPressHandler([&dispatcher](rx47::TrayButton button) {
        dispatcher.run([button](rx47::Context& c) { rx47::taskicon_MouseDown(c, button); });
    });
    timers.setTickHandler(
        [&dispatcher](int index) { dispatcher.run([index](rx47::Context& c) { rx47::onTimerTick(c, index); }); });
    // A burst of arrivals between two timer ticks is one data-received event: the intake reads it all.
    port.setDataReceivedHandler([&dispatcher] { dispatcher.runCollapsing(rx47::onDataReceived); });

    // However the program ends (the window closed, Ctrl-C, a service stop, a logout) the shutdown
    // runs once, through the event loop, and the program quits after it.
    bool shutDown = false;
    const auto shutdownAndQuit = [&] {
        if (!shutDown) {
            shutDown = true;
            timers.setTickHandler({});
            dispatcher.run(rx47::Form_QueryUnload);
        }
        QCoreApplication::quit();
    };
    QObject::connect(&window, &rx47::MainWindow::closed, &app, shutdownAndQuit);
    rx47::TerminationSignals termination;
    QObject::connect(&termination, &rx47::TerminationSignals::received, &app, shutdownAndQuit);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&] {
        if (!shutDown) shutdownAndQuit();
    });
    QObject::connect(&instance, &rx47::SingleInstance::activationRequested, &window, [&] {
        dispatcher.run(rx47::anotherCopyStarted);
        window.raise();
        window.activateWindow();
    });

    // The load handler; its sync shows the window as the start-up chose (normal, minimised or hidden).
    dispatcher.run(rx47::Form_Load);
    return app.exec();
}
