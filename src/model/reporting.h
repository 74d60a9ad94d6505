// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the program reports beyond its window and its record files, as its command line asks: a
// metrics file for a monitoring stack, a command run when an alarm is raised, and MQTT messages for
// home automation. Each is off unless named.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace rx47 {

/// Publishing over MQTT; off while `url` is empty.
struct MqttReporting {
    std::string url;                     ///< mqtt://[user@]host[:port] or mqtts://…
    std::filesystem::path passwordFile;  ///< the broker password, read from this file (never the command line)
    std::filesystem::path caFile;        ///< the authority that signed the broker's certificate (mqtts)
    std::string topicPrefix;             ///< every topic starts with it; rx47/<host>/<folder name> unless named
    std::string discoveryPrefix = "homeassistant";  ///< Home Assistant's discovery topics start with it
    std::string deviceId;  ///< stable for one host and program folder: the root of Home Assistant's unique ids
    std::string hostName;  ///< the computer the counter hangs on, for the device's name
    std::string version;   ///< the program's version, for the device's description
};

/// The event command: a program run for each event the monitor meets (an alarm raised or
/// acknowledged, the counter lost or found, and when asked each minute); off while `command` is empty.
struct EventReporting {
    std::vector<std::string> command;  ///< the program, then its arguments
    std::chrono::seconds timeout{60};  ///< a run longer than this is ended
    bool minutes = false;              ///< also run it after each minute
};

struct Reporting {
    std::filesystem::path metricsFile;      ///< rewritten after each minute update; empty: none
    std::vector<std::string> alarmCommand;  ///< the program, then its arguments, run for alarms only; empty: none
    EventReporting events;
    MqttReporting mqtt;
};

}  // namespace rx47
