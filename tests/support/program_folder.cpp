// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/program_folder.h"

#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "storage/program_folder.h"

namespace rx47::test {

std::filesystem::path suppliedSettingsFile() {
    return std::filesystem::path(RX47_SUPPLIED_FOLDER) / kSettingsFileName;
}
std::filesystem::path suppliedSound() {
    return std::filesystem::path(RX47_SUPPLIED_FOLDER) / kAlarmSoundFile;
}

TempProgramFolder::TempProgramFolder(Settings settings) {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("rx47-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    if (settings == Settings::Supplied) std::filesystem::copy_file(suppliedSettingsFile(), settingsFile());
    if (settings == Settings::Legacy)
        std::filesystem::copy_file(std::filesystem::path(RX47_TEST_DATA) / "RX47_legacy.dat", settingsFile());
}

TempProgramFolder::~TempProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace rx47::test
