// Where the program keeps everything: the settings file, the alarm sound, the records, the port
// table and its lock. That is the folder of the program itself when the user can write to it (the
// build's bin/, a copy in the home folder, one folder per counter); an installed program lives where
// nobody writes, and then the program folder is the user's data folder. A command-line option names
// any other folder; the core never asks which it got.
#pragma once

#include <filesystem>

namespace rx47 {

/// The folder name under the user's data folder.
inline constexpr const char* kUserDataFolderName = "rx47-monitor";

/// $XDG_DATA_HOME/rx47-monitor, or ~/.local/share/rx47-monitor when XDG_DATA_HOME is not set to an
/// absolute path.
std::filesystem::path userDataFolder();

/// The program folder when none is named: the executable's folder when the user may write to it,
/// otherwise userDataFolder().
std::filesystem::path defaultProgramFolder(const std::filesystem::path& executableFolder);

}  // namespace rx47
