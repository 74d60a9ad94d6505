// The command runner on QProcess: the program started with its arguments as a list (QProcess never
// hands them to a shell), the program's environment with the additions, standard input from
// /dev/null and its output passed through to the program's own (the journal, from the desktop).
#pragma once

#include <QObject>
#include <chrono>

#include "platform/command_runner.h"

class QProcess;

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

    void setFinishedHandler(std::function<void(const CommandExit&)> handler) override;
    /// Waits only for the system to start the program (or say it cannot), not for its end.
    CommandStart start(const std::string& program, const std::vector<std::string>& arguments,
                       const Environment& environment) override;
    bool running() const override;

private:
    void report(const CommandExit& exit);

    QProcess* process_ = nullptr;
    std::function<void(const CommandExit&)> handler_;
    bool starting_ = false;  ///< inside start(): a failure is returned, not reported
};

}  // namespace rx47
