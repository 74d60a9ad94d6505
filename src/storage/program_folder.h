// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Where the program keeps everything: the settings file, the alarm sound, the records, the port
// table and its lock. That is the folder of the program itself when the user can write to it (the
// build's bin/, a copy in the home folder, one folder per counter); an installed program lives where
// nobody writes, and then the program folder is the user's data folder. A command-line option names
// any other folder; the core never asks which it got.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace rx47 {

/// The folder name under the user's data folder, and under an install's data folder.
inline constexpr const char* kUserDataFolderName = "rx47-monitor";
/// The options file in the program folder: one key per long option, as the option without its dashes
/// (`mqtt = mqtt://localhost`, `event-command-arg = a, "b, c"`). The command line overrides it.
inline constexpr const char* kOptionsFileName = "rx47-monitor.conf";
inline constexpr const char* kAlarmSoundFile = "RX47.wav";

/// $XDG_DATA_HOME/rx47-monitor, or ~/.local/share/rx47-monitor when XDG_DATA_HOME is not set to an
/// absolute path.
std::filesystem::path userDataFolder();

/// Where the supplied files of a program in `executableFolder` lie: ../share/rx47-monitor, as an
/// install lays them out and as the build does (bin/ and share/rx47-monitor/ side by side).
std::filesystem::path suppliedFilesFolder(const std::filesystem::path& executableFolder);

/// The program folder when none is named: the executable's folder when the user may write to it,
/// otherwise userDataFolder(). An installed program (supplied files in ../share/rx47-monitor and
/// none of the program's files beside it) uses the user's data folder even where its own folder is
/// writable: root's /usr/bin, an install under ~/.local.
std::filesystem::path defaultProgramFolder(const std::filesystem::path& executableFolder);

/// What seeding a program folder did.
struct SeedReport {
    std::vector<std::filesystem::path> copied;  ///< files put in place
    std::vector<std::string> failures;          ///< one line per folder or file that could not be
};

/// Makes the program folder if it is not there and puts a copy of each supplied file ("RX47.dat",
/// "RX47.wav" from `suppliedFolder`) into it where it has none. A file already there is never
/// replaced, not even by a copy started at the same moment by another copy of the program: the
/// copy is written under a temporary name and then linked into place only if the name is still
/// free, so a half-copied file is never taken for the settings. A missing supplied sound is no
/// failure (the sound is optional); a missing supplied settings file is, when the folder has none.
SeedReport seedProgramFolder(const std::filesystem::path& folder, const std::filesystem::path& suppliedFolder);

}  // namespace rx47
