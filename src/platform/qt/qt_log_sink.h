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

}  // namespace rx47
