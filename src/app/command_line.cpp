#include "app/command_line.h"

#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QSysInfo>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "base/failure.h"
#include "monitor/mqtt_report.h"
#include "storage/metrics.h"
#include "storage/program_folder.h"
#include "ui/startup.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

fs::path executableFolder() {
    return fs::path(QCoreApplication::applicationDirPath().toStdString());
}

[[noreturn]] void mistake(const QString& text) {
    std::fprintf(stderr, "rx47-monitor: %s\nrx47-monitor --help lists the options.\n", qPrintable(text));
    std::exit(2);
}

fs::path absolutePath(const QString& path) {
    return fs::path(QDir(path).absolutePath().toStdString()).lexically_normal();
}

/// The options of the command line, described for the help.
struct Options {
    QCommandLineOption folderOption{
        {QStringLiteral("f"), QStringLiteral("folder")},
        QStringLiteral("Keep settings, sound, records and ports/ in <folder> (made when missing); "
                       "one folder per counter watches two counters at once."),
        QStringLiteral("folder")};
    QCommandLineOption metricsOption{
        QStringLiteral("metrics"),
        QStringLiteral("After each minute write the figures, the link state and the alarm state to <file> in "
                       "Prometheus' text format, replacing it whole. For node_exporter's textfile collector: "
                       "name it *.prom in the collector's folder."),
        QStringLiteral("file")};
    QCommandLineOption alarmCommandOption{
        QStringLiteral("alarm-command"),
        QStringLiteral("Run <program> when a CPM or dose alarm is raised, with no shell, not waited for, one at a "
                       "time. Its environment tells the alarm: RX47_ALARM_KIND (cpm or dose), RX47_ALARM_VALUE, "
                       "RX47_ALARM_LEVEL, RX47_ALARM_TIME, RX47_ALARM_MESSAGE, RX47_PROGRAM_FOLDER."),
        QStringLiteral("program")};
    QCommandLineOption alarmArgumentOption{
        QStringLiteral("alarm-command-arg"),
        QStringLiteral("One argument for the alarm command, passed exactly as it stands; repeat the option for "
                       "more, in order."),
        QStringLiteral("arg")};
    QCommandLineOption mqttOption{
        QStringLiteral("mqtt"),
        QStringLiteral("Publish the readings, the minute's figures, the alarm and the link state to the MQTT broker "
                       "at <url> (mqtt://[user@]host[:port] or mqtts://...), with Home Assistant's discovery."),
        QStringLiteral("url")};
    QCommandLineOption mqttPasswordOption{QStringLiteral("mqtt-password-file"),
                                          QStringLiteral("The broker's password is the first line of <file>."),
                                          QStringLiteral("file")};
    QCommandLineOption mqttCaOption{
        QStringLiteral("mqtt-ca"),
        QStringLiteral("With mqtts://, trust the broker's certificate when <file> (PEM) signed it, instead of the "
                       "system's authorities."),
        QStringLiteral("file")};
    QCommandLineOption mqttTopicOption{
        QStringLiteral("mqtt-topic"),
        QStringLiteral("Every topic starts with <prefix> (default rx47/<host>/<folder name>)."),
        QStringLiteral("prefix")};
    QCommandLineOption mqttDiscoveryOption{
        QStringLiteral("mqtt-discovery-prefix"),
        QStringLiteral("Home Assistant's discovery topics start with <prefix> (default homeassistant)."),
        QStringLiteral("prefix")};

    void describe(QCommandLineParser& parser) const {
        parser.setApplicationDescription(
            QStringLiteral(
                "Watches an RX47 radiation counter on a serial port.\n\n"
                "The program folder holds the settings (RX47.dat), the alarm sound (RX47.wav), the records\n"
                "(record/) and the port table (ports/). Without --folder it is the program's own folder for a\n"
                "copy the user can write to (as in the build), else %1.")
                .arg(QString::fromStdString(userDataFolder().string())));
        parser.addHelpOption();
        parser.addVersionOption();
        for (const QCommandLineOption* option :
             {&folderOption, &metricsOption, &alarmCommandOption, &alarmArgumentOption, &mqttOption,
              &mqttPasswordOption, &mqttCaOption, &mqttTopicOption, &mqttDiscoveryOption})
            parser.addOption(*option);
    }
};

}  // namespace

void answerWithoutDisplay(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    const Options options;
    options.describe(parser);
    const bool parsed = parser.parse(arguments);
    const bool answers = !parser.positionalArguments().isEmpty() || parser.isSet(QStringLiteral("help")) ||
                         parser.isSet(QStringLiteral("help-all")) || parser.isSet(QStringLiteral("version"));
    if (parsed && !answers) return;
    // The answer from an application object that needs no display, on a copy of the arguments.
    std::vector<char*> copy(argv, argv + argc);
    copy.push_back(nullptr);
    int count = argc;
    if (parsed) {
        QCoreApplication app(count, copy.data());
        readCommandLine(app);  // ends the program
    }
    // Qt's own options (-platform, -style, ...) make the parse fail here; the application object
    // takes them out of the arguments, and its platform takes out its own (xcb's -display). Where a
    // display is named the program's application object answers; without one an offscreen one,
    // which says nothing of its own.
    for (const char* option : {"-display", "--display", "-platform", "--platform"})
        if (arguments.contains(QLatin1String(option))) return;
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QtMessageHandler handler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    {
        QApplication app(count, copy.data());
        readCommandLine(app);  // ends the program on a mistake, help or version
    }
    qInstallMessageHandler(handler);
    qunsetenv("QT_QPA_PLATFORM");
}

CommandLine readCommandLine(const QCoreApplication& app) {
    QCoreApplication::setApplicationName(QStringLiteral("rx47-monitor"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    QCommandLineParser parser;
    const Options options;
    options.describe(parser);
    // A mistake ends the program with status 2 (the parser's own handling would end it with 1);
    // then --help and --version are answered and end it.
    if (!parser.parse(QCoreApplication::arguments())) mistake(parser.errorText());
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        mistake(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));
    const auto& [folderOption, metricsOption, alarmCommandOption, alarmArgumentOption, mqttOption, mqttPasswordOption,
                 mqttCaOption, mqttTopicOption, mqttDiscoveryOption] = options;
    CommandLine line;
    if (parser.isSet(folderOption)) {
        const QString folder = parser.value(folderOption);
        if (folder.isEmpty()) mistake(QStringLiteral("--folder needs a folder"));
        line.programFolder = absolutePath(folder);
    } else {
        line.programFolder = defaultProgramFolder(executableFolder());
    }

    if (parser.values(metricsOption).size() > 1) mistake(QStringLiteral("--metrics names one file"));
    if (parser.isSet(metricsOption)) {
        const QString file = parser.value(metricsOption);
        if (file.isEmpty() || file.endsWith(QLatin1Char('/'))) mistake(QStringLiteral("--metrics needs a file"));
        line.reporting.metricsFile = absolutePath(file);
        try {
            checkMetricsPlace(line.reporting.metricsFile, ::geteuid());
        } catch (const FileError& e) {
            mistake(QString::fromStdString(e.what()));
        }
    }

    if (parser.values(alarmCommandOption).size() > 1) mistake(QStringLiteral("--alarm-command names one program"));
    if (parser.isSet(alarmArgumentOption) && !parser.isSet(alarmCommandOption))
        mistake(QStringLiteral("--alarm-command-arg needs --alarm-command"));
    if (parser.isSet(alarmCommandOption)) {
        const QString program = parser.value(alarmCommandOption);
        if (program.isEmpty()) mistake(QStringLiteral("--alarm-command needs a program"));
        // A path is taken from the folder the program was started in; a bare name is looked up in PATH
        // when the alarm comes.
        line.reporting.alarmCommand.push_back(program.contains(QLatin1Char('/')) ? absolutePath(program).string()
                                                                                 : program.toStdString());
        for (const QString& argument : parser.values(alarmArgumentOption))
            line.reporting.alarmCommand.push_back(argument.toStdString());
    }

    for (const QCommandLineOption* option :
         {&mqttOption, &mqttPasswordOption, &mqttCaOption, &mqttTopicOption, &mqttDiscoveryOption}) {
        if (parser.values(*option).size() > 1)
            mistake(QStringLiteral("--%1 is given more than once").arg(option->names().constFirst()));
        if (option != &mqttOption && parser.isSet(*option) && !parser.isSet(mqttOption))
            mistake(QStringLiteral("--%1 needs --mqtt").arg(option->names().constFirst()));
    }
    if (parser.isSet(mqttOption)) {
        MqttReporting& mqtt = line.reporting.mqtt;
        mqtt.url = parser.value(mqttOption).toStdString();
        std::string error;
        const auto endpoint = parseMqttUrl(mqtt.url, error);
        if (!endpoint)
            mistake(QStringLiteral("--mqtt %1: %2").arg(parser.value(mqttOption), QString::fromStdString(error)));
        if (parser.isSet(mqttCaOption) && !endpoint->tls)
            mistake(QStringLiteral("--mqtt-ca needs an mqtts:// address"));
        if (parser.isSet(mqttPasswordOption)) mqtt.passwordFile = absolutePath(parser.value(mqttPasswordOption));
        if (parser.isSet(mqttCaOption)) mqtt.caFile = absolutePath(parser.value(mqttCaOption));
        mqtt.hostName = QSysInfo::machineHostName().toStdString();
        mqtt.topicPrefix = parser.isSet(mqttTopicOption) ? parser.value(mqttTopicOption).toStdString()
                                                         : defaultTopicPrefix(mqtt.hostName, line.programFolder);
        if (const std::string problem = topicPrefixProblem(mqtt.topicPrefix); !problem.empty())
            mistake(QStringLiteral("--mqtt-topic: %1").arg(QString::fromStdString(problem)));
        if (parser.isSet(mqttDiscoveryOption)) mqtt.discoveryPrefix = parser.value(mqttDiscoveryOption).toStdString();
        if (const std::string problem = topicPrefixProblem(mqtt.discoveryPrefix); !problem.empty())
            mistake(QStringLiteral("--mqtt-discovery-prefix: %1").arg(QString::fromStdString(problem)));
        mqtt.deviceId = mqttDeviceId(mqtt.hostName, line.programFolder);
        mqtt.version = kVersionText;
    }
    return line;
}

std::optional<std::string> readMqttPassword(const MqttReporting& mqtt, FailureLog& log) {
    if (mqtt.passwordFile.empty()) return std::nullopt;
    std::ifstream in(mqtt.passwordFile);
    std::string password;
    if (!in || !std::getline(in, password)) {
        log.warn(LogCategory::Mqtt,
                 "cannot read the MQTT password from " + mqtt.passwordFile.string() + ": connecting without one");
        return std::nullopt;
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

void reportCommandLine(const CommandLine& line, FailureLog& log) {
    if (!line.reporting.metricsFile.empty())
        log.info(LogCategory::Metrics, "metrics go to " + line.reporting.metricsFile.string());
    if (!line.reporting.mqtt.url.empty())
        log.info(LogCategory::Mqtt,
                 "MQTT goes to " + line.reporting.mqtt.url + " under " + line.reporting.mqtt.topicPrefix + "/");
    if (line.reporting.alarmCommand.empty()) return;
    const std::string& program = line.reporting.alarmCommand.front();
    const QString name = QString::fromStdString(program);
    const bool found = name.contains(QLatin1Char('/')) ? QFileInfo(name).isExecutable() && QFileInfo(name).isFile()
                                                       : !QStandardPaths::findExecutable(name).isEmpty();
    if (found)
        log.info(LogCategory::Hook, "an alarm runs " + program);
    else
        log.warn(LogCategory::Hook,
                 "the alarm command " + program + " is not a program that can run; an alarm tries it all the same");
}

void prepareProgramFolder(const fs::path& programFolder, FailureLog& log) {
    const SeedReport report = seedProgramFolder(programFolder, suppliedFilesFolder(executableFolder()));
    for (const auto& file : report.copied)
        log.info(LogCategory::Program, "put the supplied " + file.string() + " in place");
    for (const auto& failure : report.failures) log.warn(LogCategory::Program, failure);
}

}  // namespace rx47
