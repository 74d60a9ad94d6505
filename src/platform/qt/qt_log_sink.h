// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's log: Qt's categorised logging ("rx47.port", "rx47.records", ...), which goes to
// stderr, and so to the journal when the program is started from the desktop. A category can be
// silenced or widened with QT_LOGGING_RULES as any Qt category.
#pragma once

#include "base/log.h"

namespace rx47 {

class QtLogSink : public LogSink {
public:
    void write(LogLevel level, LogCategory category, std::string_view message) override;
};

/// For an adapter's last guard around a handler it calls from the event loop (inside a catch): logs
/// what escaped the handler `handler` to `log`, once until the program ends, or straight to Qt's
/// categorised logging when the adapter was given no log.
void logEscaped(FailureLog* log, LogCategory category, std::string_view handler) noexcept;

}  // namespace rx47
