// The command line of rx47-monitor and the program folder it leads to.
//
//   rx47-monitor [--folder DIR]      DIR: the program folder (one folder per counter)
//   rx47-monitor --help | --version
#pragma once

#include <QCoreApplication>
#include <filesystem>

#include "base/log.h"

namespace rx47 {

/// The id of the desktop entry, the icon and the AppStream metadata.
inline constexpr const char* kDesktopId = "io.github.rx47.monitor";

/// Whether the command line asks only for the help or the version, which need no display.
bool asksForHelpOrVersion(int argc, char* argv[]);

/// Reads the command line of the running application. --help and --version are answered on
/// standard output, a mistake on standard error, and each ends the program. Returns the program
/// folder: the one named by --folder, else the default for the executable's folder.
std::filesystem::path readCommandLine(const QCoreApplication& app);

/// Makes the program folder ready: created when missing, and the supplied settings file and sound
/// (found beside the executable, ../share/rx47-monitor) copied in where it has none. What could not
/// be done is logged; the program runs all the same, as it does with a missing settings file.
void prepareProgramFolder(const std::filesystem::path& programFolder, FailureLog& log);

}  // namespace rx47
