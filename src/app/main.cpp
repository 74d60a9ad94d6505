// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// RX47 monitor: wires the core to its Qt adapters and views, and runs the event loop.
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <filesystem>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "base/log.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/link.h"
#include "monitor/mqtt_report.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/qt/mqtt_client.h"
#include "platform/qt/on_demand_wave_player.h"
#include "platform/qt/qt_command_runner.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_log_sink.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "platform/qt/single_instance.h"
#include "platform/qt/system_clock.h"
#include "platform/qt/termination_signals.h"
#include "setup/qt/setup_dialog.h"
#include "storage/folder_trust.h"
#include "storage/leftovers.h"
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

/// A second copy in the folder says what the copy that runs there answered, and ends: 0 when that
/// copy took the request (whether or not the desktop let it raise its window), 1 when it could not be
/// reached or did not answer.
int reportOtherCopy(rx47::SingleInstance::Answer answer, const std::filesystem::path& folder, rx47::FailureLog& log) {
    using Answer = rx47::SingleInstance::Answer;
    const std::string runs = "another copy already runs in " + folder.string() + "; ";
    switch (answer) {
        case Answer::Raised:
            log.warn(rx47::LogCategory::Instance, runs + "brought its window forward");
            return 0;
        case Answer::NotRaised:
            log.warn(rx47::LogCategory::Instance,
                     runs +
                         "it could not bring its window forward (the desktop does not let a program raise its own "
                         "window): find it on the task bar or in the notification area");
            return 0;
        case Answer::NoAnswer:
            log.warn(rx47::LogCategory::Instance,
                     runs + "it did not answer the request to come forward within " +
                         std::to_string(rx47::SingleInstance::kAnswerTimeout.count() / 1000) + " seconds");
            return 1;
        default:
            log.warn(rx47::LogCategory::Instance,
                     runs +
                         "it cannot be asked to come forward (another user started it, or it runs in a session "
                         "with another runtime folder)");
            return 1;
    }
}

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
    // --help, --version and mistakes are answered on a terminal without a display, too.
    rx47::answerWithoutDisplay(argc, argv);
    // On X11 the window's small repaints (a lamp, a readout) go over the connection itself: through
    // shared memory every paint also waits for the server's completion event, which wakes the
    // program two or three times more for each blink. Whoever set the variable keeps their choice.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
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
    // One copy per program folder: a second one asks the first to come forward and ends.
    rx47::SingleInstance instance(programFolder, log);
    if (!instance.claim()) return reportOtherCopy(instance.answer(), programFolder, log);
    // Temporary files that a killed run or a power cut left: this copy holds the folder now.
    rx47::removeLeftovers(programFolder, commandLine.reporting.metricsFile, log);

    rx47::MainForm form = rx47::makeMainForm();
    rx47::MonitorState state;
    rx47::ProgramValues values;
    rx47::SettingsRow settings;
    settings.setLog(&log);
    settings.setOpener(settingsAhead.opener());
    rx47::QtSerialPort port(programFolder);
    rx47::QtTimerArray timers{rx47::timer::kAll};
    port.setLog(&log);
    timers.setLog(&log);
    rx47::SystemClock clock;
    rx47::QtDesktop desktop;
#ifdef RX47_BUILD_MODULE_FOLDER
    rx47::OnDemandWavePlayer player(RX47_BUILD_MODULE_FOLDER);
#else
    rx47::OnDemandWavePlayer player;
#endif
    rx47::QtEventPump pump;
    rx47::QtCommandRunner commands;
    rx47::QtCommandRunner events;
    commands.setLog(&log);
    events.setLog(&log);
    rx47::Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, programFolder, log};
    ctx.reporting = commandLine.reporting;
    ctx.commandRunner = &commands;
    ctx.eventRunner = &events;
    std::unique_ptr<rx47::MqttClient> broker;
    if (const rx47::MqttReporting& mqtt = ctx.reporting.mqtt; !mqtt.url.empty()) {
        std::string error;
        rx47::MqttClient::Options options;
        options.endpoint = *rx47::parseMqttUrl(mqtt.url, error);  // the command line has checked it
        options.password = rx47::readMqttPassword(mqtt, log);
        options.caFile = mqtt.caFile;
        options.clientId = mqtt.deviceId;
        options.availabilityTopic = mqtt.topicPrefix + "/availability";
        broker = std::make_unique<rx47::MqttClient>(options);
        broker->setLog(&log);
        if (broker->start())
            ctx.broker = broker.get();
        else
            broker.reset();
    }

    // Every event reaches the core through the dispatcher, which then brings the windows in step.
    rx47::Dispatcher dispatcher(ctx);
    rx47::MainWindow window(dispatcher);
    dispatcher.setAfterEach([&window] { window.sync(); });
    desktop.setDispatcher(&dispatcher);
    desktop.setMainWindow(&window);
    desktop.setSetupDialog([&dispatcher, &window] { rx47::runSetupDialog(dispatcher, &window); });
    desktop.setTrayPressHandler([&dispatcher](rx47::TrayButton button) {
        dispatcher.run([button](rx47::Context& c) { rx47::taskicon_MouseDown(c, button); });
    });
    if (broker) broker->setConnectedHandler([&dispatcher] { dispatcher.run(rx47::mqttConnected); });
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
            // An open settings dialog closes first, as at a logout, so nothing of it acts on the
            // settings once they are closed, and no message box of it holds up the end.
            rx47::closeSetupDialogAtProgramEnd();
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
    instance.setRequestHandler([&] {
        dispatcher.run(rx47::anotherCopyStarted);
        // A Wayland desktop lets no program raise or activate its own window: the second copy is told.
        if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return false;
        window.raise();
        window.activateWindow();
        return true;
    });

    // The load handler; its sync shows the window as the start-up chose (normal, minimised or hidden).
    dispatcher.run(rx47::Form_Load);
    return app.exec();
}
