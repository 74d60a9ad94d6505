// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/log.h"

namespace rx47 {

const char* categoryName(LogCategory category) {
    switch (category) {
        case LogCategory::Program:
            return "rx47.program";
        case LogCategory::Port:
            return "rx47.port";
        case LogCategory::Records:
            return "rx47.records";
        case LogCategory::Settings:
            return "rx47.settings";
        case LogCategory::Instance:
            return "rx47.instance";
        case LogCategory::Sound:
            return "rx47.sound";
        case LogCategory::Metrics:
            return "rx47.metrics";
        case LogCategory::Hook:
            return "rx47.hook";
        case LogCategory::Mqtt:
            return "rx47.mqtt";
    }
    return "rx47";
}

bool FailureLog::fail(LogCategory category, std::string_view cause, std::string_view message) {
    const auto it = failing_.find(cause);
    if (it != failing_.end()) {
        ++it->second;
        return false;
    }
    failing_.emplace(std::string(cause), 1);
    warn(category, message);
    return true;
}

void FailureLog::clear(LogCategory category, std::string_view cause, std::string_view message) {
    const auto it = failing_.find(cause);
    if (it == failing_.end()) return;
    const std::uint64_t times = it->second;
    failing_.erase(it);
    std::string line(message);
    if (times > 1) line += " (after " + std::to_string(times) + " failures)";
    info(category, line);
}

bool FailureLog::failing(std::string_view cause) const {
    return failing_.find(cause) != failing_.end();
}

void FailureLog::info(LogCategory category, std::string_view message) {
    if (sink_) sink_->write(LogLevel::Info, category, message);
}

void FailureLog::warn(LogCategory category, std::string_view message) {
    if (sink_) sink_->write(LogLevel::Warning, category, message);
}

}  // namespace rx47
