// What the program reports beyond its window and its record files, as its command line asks: a
// metrics file for a monitoring stack, a command run when an alarm is raised, and MQTT messages for
// home automation. Each is off unless named.
#pragma once

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

struct Reporting {
    std::filesystem::path metricsFile;      ///< rewritten after each minute update; empty: none
    std::vector<std::string> alarmCommand;  ///< the program, then its arguments; empty: none
    MqttReporting mqtt;
};

}  // namespace rx47
