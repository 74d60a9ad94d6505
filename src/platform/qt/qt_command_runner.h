// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command runner on QProcess: the program started with its arguments as a list (QProcess never
// hands them to a shell), the program's environment with the additions, standard input from
// /dev/null, in a process group of its own; its output and error are read as they come (the first
// bytes kept for the report, the rest counted), and past the time limit its group is asked to end,
// then killed.
#pragma once

#include <QObject>
#include <chrono>

#include "base/log.h"
#include "platform/command_runner.h"

class QProcess;
class QTimer;

namespace rx47 {

class QtCommandRunner : public QObject, public CommandRunner {
    Q_OBJECT
public:
    explicit QtCommandRunner(QObject* parent = nullptr);
    /// A command still running gets a moment to end, then is ended together with whatever it
    /// started (its process group: SIGTERM, then SIGKILL after a second): nothing outlives the
    /// program unseen. Nothing is reported then.
    ~QtCommandRunner() override;
    QtCommandRunner(const QtCommandRunner&) = delete;
    QtCommandRunner& operator=(const QtCommandRunner&) = delete;

    /// Where a failure that escapes the finished handler is logged; without one it goes straight to
    /// the program's log category.
    void setLog(FailureLog* log) { log_ = log; }
    void setFinishedHandler(std::function<void(const CommandExit&)> handler) override;
    void setTimeLimit(std::chrono::milliseconds limit) override { timeLimit_ = limit; }
    /// Waits only for the system to start the program (or say it cannot), not for its end.
    CommandStart start(const std::string& program, const std::vector<std::string>& arguments,
                       const Environment& environment) override;
    bool running() const override;

private:
    void report(CommandExit exit);
    void takeOutput();

    QProcess* process_ = nullptr;
    std::function<void(const CommandExit&)> handler_;
    FailureLog* log_ = nullptr;
    bool starting_ = false;  ///< inside start(): a failure is returned, not reported
    std::chrono::milliseconds timeLimit_{0};
    QTimer* limit_ = nullptr;  ///< the time limit of the command that runs
    QTimer* kill_ = nullptr;   ///< the grace between asking a timed-out command to end and killing it
    bool timedOut_ = false;
    std::string output_;
    std::size_t outputLeftOut_ = 0;
};

}  // namespace rx47
