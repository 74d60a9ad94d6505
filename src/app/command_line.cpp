// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/command_line.h"

#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
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

/// One option: its long name (also its key in the options file), the name of its value (empty for a
/// switch) and its help.
struct OptionInfo {
    const char* name;
    const char* valueName;
    const char* help;
};

constexpr OptionInfo kOptions[] = {
    {"metrics", "file",
     "After each minute write the figures, the link state and the alarm state to <file> in Prometheus' text "
     "format, replacing it whole. For node_exporter's textfile collector: name it *.prom in the collector's "
     "folder."},
    {"event-command", "program",
     "Run <program> for each event, with no shell, not waited for, one at a time (later events wait their turn). "
     "RX47_EVENT tells the event: alarm, acknowledged, device-lost, device-found, minute (with --event-minutes); "
     "an alarm also sets RX47_ALARM_KIND (cpm or dose), RX47_ALARM_VALUE, RX47_ALARM_LEVEL, RX47_ALARM_TIME, "
     "RX47_ALARM_MESSAGE; every event RX47_PROGRAM_FOLDER."},
    {"event-command-arg", "arg",
     "One argument for the event command, passed exactly as it stands; repeat the option for more, in order."},
    {"event-timeout", "seconds",
     "End the event command (SIGTERM, then SIGKILL) when it runs longer than <seconds> (default 60)."},
    {"event-minutes", "", "Also run the event command after each minute, with the minute's figures."},
    {"alarm-command", "program",
     "Run <program> when a CPM or dose alarm is raised: the event command for alarms only (RX47_ALARM_KIND, "
     "RX47_ALARM_VALUE, RX47_ALARM_LEVEL, RX47_ALARM_TIME, RX47_ALARM_MESSAGE, RX47_PROGRAM_FOLDER)."},
    {"alarm-command-arg", "arg", "One argument for the alarm command; repeat the option for more, in order."},
    {"mqtt", "url",
     "Publish the readings, the minute's figures, the alarm and the link state to the MQTT broker at <url> "
     "(mqtt://[user@]host[:port] or mqtts://...), with Home Assistant's discovery."},
    {"mqtt-password-file", "file", "The broker's password is the first line of <file>."},
    {"mqtt-ca", "file",
     "With mqtts://, trust the broker's certificate when <file> (PEM) signed it, instead of the system's "
     "authorities."},
    {"mqtt-topic", "prefix", "Every topic starts with <prefix> (default rx47/<host>/<folder name>)."},
    {"mqtt-discovery-prefix", "prefix",
     "Home Assistant's discovery topics start with <prefix> (default homeassistant)."},
};

/// The options that belong together: the command line's word on any of them overrides the file's on
/// all of them (an alarm command from the command line takes no arguments from the file).
const std::vector<std::vector<QString>> kGroups = {
    {QStringLiteral("metrics")},
    {QStringLiteral("event-command"), QStringLiteral("event-command-arg"), QStringLiteral("event-timeout"),
     QStringLiteral("event-minutes")},
    {QStringLiteral("alarm-command"), QStringLiteral("alarm-command-arg")},
    {QStringLiteral("mqtt"), QStringLiteral("mqtt-password-file"), QStringLiteral("mqtt-ca"),
     QStringLiteral("mqtt-topic"), QStringLiteral("mqtt-discovery-prefix")},
};

const QCommandLineOption& folderOption() {
    static const QCommandLineOption option(
        {QStringLiteral("f"), QStringLiteral("folder")},
        QStringLiteral("Keep settings, sound, records and ports/ in <folder> (made when missing); one folder per "
                       "counter watches two counters at once. Options may also be kept in <folder>/%1.")
            .arg(QLatin1String(kOptionsFileName)),
        QStringLiteral("folder"));
    return option;
}

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Watches an RX47 radiation counter on a serial port.\n\n"
                       "The program folder holds the settings (RX47.dat), the alarm sound (RX47.wav), the records\n"
                       "(record/), the port table (ports/) and the options file (%2). Without --folder it is\n"
                       "the program's own folder for a copy the user can write to (as in the build), else %1.")
            .arg(QString::fromStdString(userDataFolder().string()), QLatin1String(kOptionsFileName)));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(folderOption());
    for (const OptionInfo& o : kOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), QString::fromUtf8(o.help),
                                            QString::fromLatin1(o.valueName)));
}

/// Where options come from: the command line, or the options file (its values, the line of each key,
/// and relative paths taken from the program folder).
struct OptionSource {
    std::map<QString, QStringList> values;
    std::map<QString, int> lines;
    bool file = false;
    fs::path folder;

    bool has(const QString& name) const { return values.count(name) > 0; }
    QStringList all(const QString& name) const {
        const auto it = values.find(name);
        return it == values.end() ? QStringList() : it->second;
    }
    QString one(const QString& name) const { return all(name).value(0); }
    fs::path path(const QString& name) const {
        const QString text = one(name);
        if (file && !text.startsWith(QLatin1Char('/')) && !text.startsWith(QLatin1Char('~')))
            return (folder / text.toStdString()).lexically_normal();
        return absolutePath(text);
    }
};

/// A mistake in one option: which, and why.
struct OptionProblem {
    QString name;
    QString text;
};
using Problem = std::optional<OptionProblem>;

Problem once(const OptionSource& s, const QString& name, const char* what) {
    if (s.all(name).size() > 1)
        return OptionProblem{name, QStringLiteral("--%1 names one %2").arg(name, QLatin1String(what))};
    if (s.has(name) && s.one(name).isEmpty())
        return OptionProblem{name, QStringLiteral("--%1 needs a %2").arg(name, QLatin1String(what))};
    return std::nullopt;
}

Problem takeMetrics(const OptionSource& s, Reporting& r) {
    const QString name = QStringLiteral("metrics");
    if (!s.has(name)) return std::nullopt;
    if (Problem p = once(s, name, "file")) return p;
    if (s.one(name).endsWith(QLatin1Char('/'))) return OptionProblem{name, QStringLiteral("--metrics needs a file")};
    r.metricsFile = s.path(name);
    try {
        checkMetricsPlace(r.metricsFile, ::geteuid());
    } catch (const FileError& e) {
        r.metricsFile.clear();
        return OptionProblem{name, QString::fromStdString(e.what())};
    }
    return std::nullopt;
}

/// A program named by path is taken from where the options were written; a bare name is looked up in
/// PATH when it runs.
std::string programOf(const OptionSource& s, const QString& name) {
    const QString program = s.one(name);
    return program.contains(QLatin1Char('/')) ? s.path(name).string() : program.toStdString();
}

Problem takeCommand(const OptionSource& s, const QString& name, std::vector<std::string>& command) {
    const QString arg = name + QStringLiteral("-arg");
    if (s.has(arg) && !s.has(name)) return OptionProblem{arg, QStringLiteral("--%1 needs --%2").arg(arg, name)};
    if (!s.has(name)) return std::nullopt;
    if (Problem p = once(s, name, "program")) return p;
    command.push_back(programOf(s, name));
    for (const QString& argument : s.all(arg)) command.push_back(argument.toStdString());
    return std::nullopt;
}

Problem takeEvents(const OptionSource& s, Reporting& r) {
    EventReporting events;
    if (Problem p = takeCommand(s, QStringLiteral("event-command"), events.command)) return p;
    for (const char* option : {"event-timeout", "event-minutes"}) {
        const QString name = QString::fromLatin1(option);
        if (s.has(name) && events.command.empty())
            return OptionProblem{name, QStringLiteral("--%1 needs --event-command").arg(name)};
    }
    const QString timeout = QStringLiteral("event-timeout");
    if (s.has(timeout)) {
        if (Problem p = once(s, timeout, "number of seconds")) return p;
        bool ok = false;
        const int seconds = s.one(timeout).toInt(&ok);
        if (!ok || seconds < 1 || seconds > 86400)
            return OptionProblem{timeout, QStringLiteral("--event-timeout is a number of seconds from 1 to 86400")};
        events.timeout = std::chrono::seconds(seconds);
    }
    const QString minutes = QStringLiteral("event-minutes");
    if (s.has(minutes)) {
        // On the command line a switch; in the file a truth value.
        const QString value = s.one(minutes).toLower();
        if (!s.file || value == QLatin1String("true") || value == QLatin1String("yes") || value == QLatin1String("1"))
            events.minutes = true;
        else if (value != QLatin1String("false") && value != QLatin1String("no") && value != QLatin1String("0"))
            return OptionProblem{minutes, QStringLiteral("event-minutes is true or false")};
    }
    r.events = events;
    return std::nullopt;
}

Problem takeMqtt(const OptionSource& s, const fs::path& programFolder, Reporting& r) {
    const QString url = QStringLiteral("mqtt");
    for (const char* option : {"mqtt-password-file", "mqtt-ca", "mqtt-topic", "mqtt-discovery-prefix"}) {
        const QString name = QString::fromLatin1(option);
        if (s.has(name) && !s.has(url)) return OptionProblem{name, QStringLiteral("--%1 needs --mqtt").arg(name)};
        if (Problem p = once(s, name, "value")) return p;
    }
    if (!s.has(url)) return std::nullopt;
    if (Problem p = once(s, url, "address")) return p;
    MqttReporting mqtt;
    mqtt.url = s.one(url).toStdString();
    std::string error;
    const auto endpoint = parseMqttUrl(mqtt.url, error);
    if (!endpoint)
        return OptionProblem{url, QStringLiteral("--mqtt %1: %2").arg(s.one(url), QString::fromStdString(error))};
    if (s.has(QStringLiteral("mqtt-ca")) && !endpoint->tls)
        return OptionProblem{QStringLiteral("mqtt-ca"), QStringLiteral("--mqtt-ca needs an mqtts:// address")};
    if (s.has(QStringLiteral("mqtt-password-file"))) mqtt.passwordFile = s.path(QStringLiteral("mqtt-password-file"));
    if (s.has(QStringLiteral("mqtt-ca"))) mqtt.caFile = s.path(QStringLiteral("mqtt-ca"));
    mqtt.hostName = QSysInfo::machineHostName().toStdString();
    const QString topic = QStringLiteral("mqtt-topic");
    mqtt.topicPrefix = s.has(topic) ? s.one(topic).toStdString() : defaultTopicPrefix(mqtt.hostName, programFolder);
    if (const std::string problem = topicPrefixProblem(mqtt.topicPrefix); !problem.empty())
        return OptionProblem{topic, QStringLiteral("--mqtt-topic: %1").arg(QString::fromStdString(problem))};
    const QString discovery = QStringLiteral("mqtt-discovery-prefix");
    if (s.has(discovery)) mqtt.discoveryPrefix = s.one(discovery).toStdString();
    if (const std::string problem = topicPrefixProblem(mqtt.discoveryPrefix); !problem.empty())
        return OptionProblem{discovery,
                             QStringLiteral("--mqtt-discovery-prefix: %1").arg(QString::fromStdString(problem))};
    mqtt.deviceId = mqttDeviceId(mqtt.hostName, programFolder);
    mqtt.version = kVersionText;
    r.mqtt = mqtt;
    return std::nullopt;
}

/// The options file of the program folder, read with QSettings' INI rules (a list is written
/// `a, "b, c"`); unknown keys and sections are problems of their own.
OptionSource readOptionsFile(const fs::path& programFolder, std::vector<std::string>& problems) {
    OptionSource source;
    source.file = true;
    source.folder = programFolder;
    const fs::path file = programFolder / kOptionsFileName;
    std::error_code error;
    if (!fs::exists(file, error)) return source;
    const std::string where = file.string();
    // The line of each key, for the messages: QSettings does not keep them.
    {
        std::ifstream in(file);
        int number = 0;
        for (std::string text; std::getline(in, text);) {
            ++number;
            const auto equals = text.find('=');
            const auto first = text.find_first_not_of(" \t");
            if (equals == std::string::npos || first == std::string::npos || text[first] == ';' || text[first] == '#')
                continue;
            std::string key = text.substr(first, equals - first);
            key.erase(key.find_last_not_of(" \t") + 1);
            source.lines.emplace(QString::fromStdString(key), number);
        }
    }
    QSettings settings(QString::fromStdString(where), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        problems.push_back(where + ": cannot be read as an options file; the monitor starts without it");
        return source;
    }
    for (const QString& key : settings.allKeys()) {
        const int line = source.lines.count(key) ? source.lines.at(key) : 0;
        const bool known = std::any_of(std::begin(kOptions), std::end(kOptions),
                                       [&](const OptionInfo& o) { return key == QLatin1String(o.name); });
        if (!known) {
            problems.push_back(where + " line " + std::to_string(line) + ": unknown option \"" + key.toStdString() +
                               "\"; the monitor starts without it");
            continue;
        }
        const QVariant value = settings.value(key);
        source.values[key] =
            value.typeId() == QMetaType::QStringList ? value.toStringList() : QStringList{value.toString()};
    }
    return source;
}

}  // namespace

void answerWithoutDisplay(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    describe(parser);
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
    describe(parser);
    // A mistake ends the program with status 2 (the parser's own handling would end it with 1);
    // then --help and --version are answered and end it.
    if (!parser.parse(QCoreApplication::arguments())) mistake(parser.errorText());
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        mistake(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments()[0]));
    CommandLine line;
    if (parser.isSet(folderOption())) {
        const QString folder = parser.value(folderOption());
        if (folder.isEmpty()) mistake(QStringLiteral("--folder needs a folder"));
        line.programFolder = absolutePath(folder);
    } else {
        line.programFolder = defaultProgramFolder(executableFolder());
    }

    OptionSource given;
    for (const OptionInfo& o : kOptions) {
        const QString name = QString::fromLatin1(o.name);
        if (parser.isSet(name))
            given.values[name] = *o.valueName ? parser.values(name) : QStringList(QStringLiteral("true"));
    }
    const OptionSource file = readOptionsFile(line.programFolder, line.optionProblems);
    const auto takeGroup = [&](const std::vector<QString>& group, auto take) {
        const bool onCommandLine =
            std::any_of(group.begin(), group.end(), [&](const QString& n) { return given.has(n); });
        const OptionSource& source = onCommandLine ? given : file;
        Reporting taken = line.reporting;
        const Problem problem = take(source, taken);
        if (!problem) {
            line.reporting = taken;
        } else if (!source.file) {
            mistake(problem->text);
        } else {
            const int at = source.lines.count(problem->name) ? source.lines.at(problem->name) : 0;
            // In the file an option is named as its key, without the dashes.
            const QString text = QString(problem->text).replace(QStringLiteral("--"), QString());
            line.optionProblems.push_back((line.programFolder / kOptionsFileName).string() + " line " +
                                          std::to_string(at) + ": " + text.toStdString() +
                                          "; the monitor starts without " + group.front().toStdString());
        }
    };
    takeGroup(kGroups[0], [](const OptionSource& s, Reporting& r) { return takeMetrics(s, r); });
    takeGroup(kGroups[1], [](const OptionSource& s, Reporting& r) { return takeEvents(s, r); });
    takeGroup(kGroups[2], [](const OptionSource& s, Reporting& r) {
        return takeCommand(s, QStringLiteral("alarm-command"), r.alarmCommand);
    });
    takeGroup(kGroups[3], [&](const OptionSource& s, Reporting& r) { return takeMqtt(s, line.programFolder, r); });
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
    for (const std::string& problem : line.optionProblems) log.warn(LogCategory::Program, problem);
    if (!line.reporting.metricsFile.empty())
        log.info(LogCategory::Metrics, "metrics go to " + line.reporting.metricsFile.string());
    if (!line.reporting.mqtt.url.empty())
        log.info(LogCategory::Mqtt, "MQTT goes to " + line.reporting.mqtt.url + " under " +
                                        line.reporting.mqtt.topicPrefix + "/ (Home Assistant device " +
                                        line.reporting.mqtt.deviceId + ")");
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
