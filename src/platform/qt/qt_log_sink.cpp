// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_log_sink.h"

#include <QLoggingCategory>
#include <QString>
#include <exception>
#include <string>

namespace rx47 {

namespace {

Q_LOGGING_CATEGORY(programLog, "rx47.program", QtInfoMsg)
Q_LOGGING_CATEGORY(portLog, "rx47.port", QtInfoMsg)
Q_LOGGING_CATEGORY(recordsLog, "rx47.records", QtInfoMsg)
Q_LOGGING_CATEGORY(settingsLog, "rx47.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(instanceLog, "rx47.instance", QtInfoMsg)
Q_LOGGING_CATEGORY(soundLog, "rx47.sound", QtInfoMsg)
Q_LOGGING_CATEGORY(metricsLog, "rx47.metrics", QtInfoMsg)
Q_LOGGING_CATEGORY(hookLog, "rx47.hook", QtInfoMsg)
Q_LOGGING_CATEGORY(mqttLog, "rx47.mqtt", QtInfoMsg)

const QLoggingCategory& qtCategory(LogCategory category) {
    switch (category) {
        case LogCategory::Program:
            return programLog();
        case LogCategory::Port:
            return portLog();
        case LogCategory::Records:
            return recordsLog();
        case LogCategory::Settings:
            return settingsLog();
        case LogCategory::Instance:
            return instanceLog();
        case LogCategory::Sound:
            return soundLog();
        case LogCategory::Metrics:
            return metricsLog();
        case LogCategory::Hook:
            return hookLog();
        case LogCategory::Mqtt:
            return mqttLog();
    }
    return programLog();
}

}  // namespace

void QtLogSink::write(LogLevel level, LogCategory category, std::string_view message) {
    const QLoggingCategory& c = qtCategory(category);
    const QString text = QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()));
    if (level == LogLevel::Warning)
        qCWarning(c).noquote() << text;
    else
        qCInfo(c).noquote() << text;
}

void logEscaped(FailureLog* log, LogCategory category, std::string_view handler) noexcept {
    try {
        std::string what = "unknown error";
        try {
            throw;
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            // Not an exception of the standard library's kind: no text to give.
        }
        const std::string message = std::string(handler) + " failed: " + what;
        if (log) {
            log->fail(category, "escaped:" + std::string(handler), message);
        } else {
            QtLogSink sink;
            sink.write(LogLevel::Warning, category, message);
        }
    } catch (const std::exception&) {
        // Out of memory for the line: the handler's failure ends here unsaid, the program runs on.
        qCWarning(qtCategory(category)) << "a handler failed; out of memory for the details";
    }
}

}  // namespace rx47
