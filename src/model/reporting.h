// What the program reports beyond its window and its record files, as its command line asks: a
// metrics file for a monitoring stack, and a command run when an alarm is raised. Both are off
// unless named.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rx47 {

struct Reporting {
    std::filesystem::path metricsFile;      ///< rewritten after each minute update; empty: none
    std::vector<std::string> alarmCommand;  ///< the program, then its arguments; empty: none
};

}  // namespace rx47
