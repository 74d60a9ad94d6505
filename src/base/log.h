// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Failures are never silent. Most of the program's behaviour skips a step that fails and goes on;
// the failure is still written to the log, once when its cause first fails and once when it clears,
// so that a port refused every two seconds or a record file that cannot be written for a week gives
// two lines, not thousands. The sink behind it is Qt's categorised logging in the program (stderr,
// and the journal when started from the desktop) and a recording sink in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace rx47 {

enum class LogCategory { Program, Port, Records, Settings, Instance, Sound, Metrics, Hook, Mqtt };

/// "rx47.port" and so on: the category's name in the log.
const char* categoryName(LogCategory category);

enum class LogLevel { Info, Warning };

/// Where log lines go.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogLevel level, LogCategory category, std::string_view message) = 0;
};

/// The program's log of failures. A cause is a stable key ("record:/path/to/file", "port:3"); while it
/// is failing, further failures of the same cause are counted, not logged.
class FailureLog {
public:
    explicit FailureLog(LogSink* sink = nullptr) : sink_(sink) {}
    FailureLog(const FailureLog&) = delete;
    FailureLog& operator=(const FailureLog&) = delete;

    void setSink(LogSink* sink) { sink_ = sink; }

    /// `cause` failed. Logged as a warning when it was not failing already; returns true then (a new
    /// failure), false when it was failing already.
    bool fail(LogCategory category, std::string_view cause, std::string_view message);
    /// `cause` works again. When it was failing, one line says so (with how often it failed).
    void clear(LogCategory category, std::string_view cause, std::string_view message);
    /// Whether `cause` is failing now.
    bool failing(std::string_view cause) const;
    /// A plain information line, always logged.
    void info(LogCategory category, std::string_view message);
    /// A warning that has no cause to clear (an error that escaped a handler, say): always logged.
    void warn(LogCategory category, std::string_view message);

private:
    LogSink* sink_ = nullptr;
    std::map<std::string, std::uint64_t, std::less<>> failing_;  // cause -> failures since it began
};

}  // namespace rx47
