// Running an outside command for the program (the alarm command): the program and its arguments are
// handed to the system as they stand, never through a shell, and the program does not wait for it.
// One runs at a time; its end is reported later, from the event loop.
//
// Contract (held by the QProcess adapter and the recording double, checked by tests/contract):
// - start() returns once the command has started (or could not start), never after its end; a
//   command that started is reported ended exactly once, from the event loop, never inside start().
// - A start while a command still runs is refused, and the running one goes on.
// - A command the system refuses at once (no such program) is refused by start() with the system's
//   words and never reported; one whose start fails only later is reported with `started` false.
// - running() is true from a start that went through until its end is reported.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rx47 {

/// How a command ended, or why it never ran.
struct CommandExit {
    bool started = true;   ///< false: it could not be run at all (`error` says why)
    bool crashed = false;  ///< ended by a signal
    int exitCode = 0;      ///< its exit status when it ended by itself
    std::string error;     ///< the system's own words when it did not start or crashed
};

/// Whether a start went through, and the system's words when it did not.
struct CommandStart {
    bool started = false;
    std::string error;
};

class CommandRunner {
public:
    /// Variables added to (or replacing those of) the program's own environment.
    using Environment = std::vector<std::pair<std::string, std::string>>;

    virtual ~CommandRunner() = default;
    /// Called from the event loop when a started command has ended (or turned out not to start).
    virtual void setFinishedHandler(std::function<void(const CommandExit&)> handler) = 0;
    /// Starts `program` with `arguments`, each one argument exactly as it stands, in the program's
    /// environment with `environment` added, and returns without waiting for its end. A start that
    /// fails here (the program cannot be run, or a command still runs) is not reported to the
    /// finished handler.
    virtual CommandStart start(const std::string& program, const std::vector<std::string>& arguments,
                               const Environment& environment) = 0;
    /// Whether the command last started has not yet been reported ended.
    virtual bool running() const = 0;
};

}  // namespace rx47
