// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Running an outside command for the program (the event and alarm commands): the program and its
// arguments are handed to the system as they stand, never through a shell, and the program does not
// wait for it. One runs at a time; its end is reported later, from the event loop, with what it wrote.
//
// Contract (held by the QProcess adapter and the recording double, checked by tests/contract):
// - start() returns once the command has started (or could not start), never after its end; a
//   command that started is reported ended exactly once, from the event loop, never inside start().
// - A start while a command still runs is refused, and the running one goes on.
// - A command the system refuses at once (no such program) is refused by start() with the system's
//   words and never reported; one whose start fails only later is reported with `started` false.
// - running() is true from a start that went through until its end is reported.
// - A command that runs longer than the time limit is ended (asked, then killed, with whatever it
//   started) and reported as timed out. Its standard output and error are read while it runs (it
//   never blocks on them) and reported with its end, the first kOutputKept bytes of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace rx47 {

/// How a command ended, or why it never ran.
struct CommandExit {
    bool started = true;            ///< false: it could not be run at all (`error` says why)
    bool crashed = false;           ///< ended by a signal
    int exitCode = 0;               ///< its exit status when it ended by itself
    std::string error;              ///< the system's own words when it did not start or crashed
    bool timedOut = false;          ///< ended because it ran past the time limit
    std::string output;             ///< the first bytes it wrote to its standard output and error
    std::size_t outputLeftOut = 0;  ///< how many more bytes it wrote
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

    /// How much of a command's output is kept for the report.
    static constexpr std::size_t kOutputKept = 4096;

    virtual ~CommandRunner() = default;
    /// A command started from now on is ended when it runs longer than `limit` (zero: never).
    virtual void setTimeLimit(std::chrono::milliseconds limit) = 0;
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
