// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command line of rx47-monitor and the program folder it leads to.
//
//   rx47-monitor [--folder DIR] [--metrics FILE]
//                [--event-command PROGRAM [--event-command-arg ARG]... [--event-timeout SECONDS]
//                 [--event-minutes]] [--alarm-command PROGRAM [--alarm-command-arg ARG]...]
//                [--mqtt URL [--mqtt-password-file FILE] [--mqtt-ca FILE] [--mqtt-topic PREFIX]
//                 [--mqtt-discovery-prefix PREFIX]]
//   rx47-monitor --help | --version
//
// Every option but --folder may also stand in DIR/rx47-monitor.conf; the command line overrides it.
//
//   DIR      the program folder (one folder per counter)
//   FILE     a metrics file for node_exporter's textfile collector, rewritten after each minute
//   PROGRAM  run for each event (or, as the alarm command, each alarm), with each ARG as one
//            argument (no shell reads them)
//   URL      an MQTT broker to publish to
#pragma once

#include <QCoreApplication>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/log.h"
#include "model/reporting.h"
#include "storage/program_folder.h"

namespace rx47 {

/// The id of the desktop entry, the icon and the AppStream metadata.
inline constexpr const char* kDesktopId = "io.github.rx47.monitor";

/// Answers --help and --version, and a mistake in the command line (status 2), without a display:
/// each ends the program. Returns when the command line asks for the window.
void answerWithoutDisplay(int argc, char* argv[]);

/// What the command line asks for.
struct CommandLine {
    std::filesystem::path programFolder;      ///< named by --folder, else the default for the executable
    Reporting reporting;                      ///< the metrics file, the commands and MQTT, when named
    std::vector<std::string> optionProblems;  ///< options of the options file left out, and why
};

/// Reads the command line of the running application. --help and --version are answered on
/// standard output, a mistake (an unknown option, a missing value, a stray argument) on standard
/// error with status 2, and each ends the program.
CommandLine readCommandLine(const QCoreApplication& app);

/// The MQTT password from its file (its first line), or none: no file named, or one that cannot be
/// read (logged).
std::optional<std::string> readMqttPassword(const MqttReporting& mqtt, FailureLog& log);

/// Logs where the metrics go and which program an alarm runs, and warns when that program is not
/// there to run.
void reportCommandLine(const CommandLine& line, FailureLog& log);

/// Makes the program folder ready: created when missing, and the supplied settings file and sound
/// (found beside the executable, ../share/rx47-monitor) copied in where it has none. What could not
/// be done is logged; the program runs all the same, as it does with a missing settings file.
void prepareProgramFolder(const std::filesystem::path& programFolder, FailureLog& log);

}  // namespace rx47
