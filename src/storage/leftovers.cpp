// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "base/log.h"
#include "storage/durable.h"
#include "storage/program_folder.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

/// Removes each regular file of the user in `folder` whose name `isLeftover` picks; links are never
/// followed (the names are looked at, and removed, as they stand).
void removeFrom(const fs::path& folder, const std::function<bool(std::string_view)>& isLeftover, FailureLog& log) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;  // no folder, no leftovers; a folder that cannot be read fails elsewhere too
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!isLeftover(name)) continue;
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
        const fs::path path = folder / name;
        if (::unlinkat(fd, entry->d_name, 0) == 0)
            log.info(LogCategory::Program, "removed " + path.string() + ", left by a run that did not end in order");
        else
            log.warn(LogCategory::Program,
                     "cannot remove " + path.string() + ", left by an earlier run: " + std::strerror(errno));
    }
    ::closedir(dir);
}

/// "<name>.tmp-<digits>": the metrics file's temporary name before it was picked by the library.
bool isOlderMetricsTemporary(std::string_view name, const fs::path& metricsFile) {
    const std::string prefix = metricsFile.filename().string() + ".tmp-";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
    return name.substr(prefix.size()).find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

void removeLeftovers(const fs::path& programFolder, const fs::path& metricsFile, FailureLog& log) {
    // The compaction's copy matters only until it has taken the place of the settings file: while
    // that is there the copy is a leftover (the next compaction would remove it too).
    struct stat st {};
    const bool settingsThere = ::stat((programFolder / kSettingsFileName).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const std::string compacted = kSettingsTempFileName;
    removeFrom(
        programFolder,
        [&](std::string_view name) {
            return isTemporaryNameOf(name, kSettingsFileName) || isTemporaryNameOf(name, kAlarmSoundFile) ||
                   (settingsThere && (name == compacted || name == compacted + "-journal"));
        },
        log);
    if (metricsFile.empty()) return;
    removeFrom(
        metricsFile.parent_path(),
        [&](std::string_view name) {
            return isTemporaryNameOf(name, metricsFile) || isOlderMetricsTemporary(name, metricsFile);
        },
        log);
}

}  // namespace rx47
