// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_command_runner.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>
#include <algorithm>

#include <signal.h>
#include <unistd.h>

#include "platform/qt/qt_log_sink.h"

namespace rx47 {

namespace {

using namespace std::chrono_literals;

/// How long start() waits for the system to start the program; a start still under way after it
/// is reported later, when it ends or fails.
constexpr auto kStartWait = 2s;
/// How long the program's end waits for a command that still runs before ending it.
constexpr auto kEndGrace = 3s;
/// How long a command's group gets to end on SIGTERM before it is killed.
constexpr auto kGroupGrace = 1s;
/// How long a command past its time limit gets to end on SIGTERM before it is killed.
constexpr auto kTimeoutGrace = 5s;

int milliseconds(std::chrono::milliseconds ms) {
    return static_cast<int>(ms.count());
}

QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

/// Sends a signal to every process of a command's group: the command and whatever it started that
/// did not leave the group. A group already gone is no failure.
void signalGroup(qint64 group, int signal) {
    if (group > 1) ::kill(-static_cast<pid_t>(group), signal);
}

}  // namespace

QtCommandRunner::QtCommandRunner(QObject* parent)
    : QObject(parent), process_(new QProcess(this)), limit_(new QTimer(this)), kill_(new QTimer(this)) {
    process_->setProcessChannelMode(QProcess::MergedChannels);
    limit_->setSingleShot(true);
    kill_->setSingleShot(true);
    connect(limit_, &QTimer::timeout, this, [this] {
        timedOut_ = true;
        signalGroup(process_->processId(), SIGTERM);
        kill_->start(kTimeoutGrace);
    });
    connect(kill_, &QTimer::timeout, this, [this] { signalGroup(process_->processId(), SIGKILL); });
    connect(process_, &QProcess::readyReadStandardOutput, this, [this] { takeOutput(); });
    process_->setStandardInputFile(QProcess::nullDevice());
    // Each command leads a process group of its own, so that ending it also ends what it started
    // (a script's `sleep`, a player it left running). Only an async-signal-safe call runs here.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        CommandExit exit;
        exit.crashed = status == QProcess::CrashExit;
        exit.exitCode = exitCode;
        if (exit.crashed) exit.error = process_->errorString().toStdString();
        report(exit);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A start that fails after start() returned; a crash is reported by finished().
        if (error != QProcess::FailedToStart || starting_) return;
        CommandExit exit;
        exit.started = false;
        exit.error = process_->errorString().toStdString();
        report(exit);
    });
}

QtCommandRunner::~QtCommandRunner() {
    handler_ = {};
    if (process_->state() == QProcess::NotRunning) return;
    // The group keeps the command's number while any of it lives, also once the command is gone.
    const qint64 group = process_->processId();
    process_->waitForFinished(milliseconds(kEndGrace));
    // Whatever still runs of it, the command or what it started, is asked to end, then killed.
    signalGroup(group, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kGroupGrace;
    process_->waitForFinished(milliseconds(kGroupGrace));
    while (::kill(-static_cast<pid_t>(group), 0) == 0 && std::chrono::steady_clock::now() < deadline) ::usleep(20000);
    signalGroup(group, SIGKILL);
    process_->waitForFinished(milliseconds(1s));
}

void QtCommandRunner::setFinishedHandler(std::function<void(const CommandExit&)> handler) {
    handler_ = std::move(handler);
}

void QtCommandRunner::takeOutput() {
    const QByteArray bytes = process_->readAllStandardOutput();
    const std::size_t room = kOutputKept - std::min(kOutputKept, output_.size());
    const std::size_t kept = std::min(room, static_cast<std::size_t>(bytes.size()));
    output_.append(bytes.constData(), kept);
    outputLeftOut_ += static_cast<std::size_t>(bytes.size()) - kept;
}

CommandStart QtCommandRunner::start(const std::string& program, const std::vector<std::string>& arguments,
                                    const Environment& environment) {
    if (running()) return {false, "a command still runs"};
    QStringList list;
    for (const std::string& argument : arguments) list << text(argument);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment) env.insert(text(name), text(value));
    process_->setProgram(text(program));
    process_->setArguments(list);
    process_->setProcessEnvironment(env);

    timedOut_ = false;
    output_.clear();
    outputLeftOut_ = 0;
    starting_ = true;
    process_->start();
    process_->waitForStarted(milliseconds(kStartWait));
    starting_ = false;
    if (process_->state() == QProcess::NotRunning) return {false, process_->errorString().toStdString()};
    if (timeLimit_.count() > 0) limit_->start(timeLimit_);
    return {true, {}};
}

bool QtCommandRunner::running() const {
    return process_->state() != QProcess::NotRunning;
}

void QtCommandRunner::report(CommandExit exit) {
    limit_->stop();
    kill_->stop();
    // What is left in the pipe, and whatever the command's own children still hold open is not
    // waited for.
    takeOutput();
    exit.timedOut = timedOut_;
    exit.output = std::move(output_);
    exit.outputLeftOut = outputLeftOut_;
    output_.clear();
    outputLeftOut_ = 0;
    // Nothing may escape into the event loop; the core's handler skips its own failures.
    try {
        if (handler_) handler_(exit);
    } catch (...) {
        logEscaped(log_, LogCategory::Hook, "a command's end handler");
    }
}

}  // namespace rx47
