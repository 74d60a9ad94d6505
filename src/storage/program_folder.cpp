// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/program_folder.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/failure.h"
#include "storage/durable.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

fs::path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

/// Whether anything (a file, a folder, a link even to nothing) has the name.
bool taken(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string failure(const std::string& what, const fs::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

/// A file descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
};

bool copyBytes(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += w;
        }
    }
}

/// Puts `temp` in place as `target` unless `target` exists. Returns 0, or the errno of the failure
/// (EEXIST when the name was taken meanwhile).
int placeWithoutReplacing(const fs::path& temp, const fs::path& target) {
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // A file system without an exclusive rename: a hard link fails just the same on a taken name.
    if (::link(temp.c_str(), target.c_str()) != 0) return errno;
    ::unlink(temp.c_str());
    return 0;
}

/// Copies `source` to `target` (which must not exist) through a temporary file beside it. Returns
/// an empty text, or what failed; `placed` says whether this copy is the one now at `target`.
std::string copyWithoutReplacing(const fs::path& source, const fs::path& target, bool& placed) {
    placed = false;
    Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return failure("cannot read", source, errno);
    std::string tempName = temporaryNameTemplate(target);
    Descriptor out(::mkostemp(tempName.data(), O_CLOEXEC));
    if (out.fd < 0) return failure("cannot create a file in", target.parent_path(), errno);
    const fs::path temp = tempName;
    int error = 0;
    if (!copyBytes(in.fd, out.fd) || ::fchmod(out.fd, 0644) != 0 || ::fsync(out.fd) != 0) error = errno;
    if (!error && ::close(out.fd) != 0) error = errno;
    out.fd = -1;
    if (!error) error = placeWithoutReplacing(temp, target);
    if (error) {
        ::unlink(temp.c_str());
        // Another copy of the program seeded the folder first: its file is as good as ours.
        return error == EEXIST ? std::string() : failure("cannot copy " + source.string() + " to", target, error);
    }
    placed = true;
    if (Descriptor folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); folder.fd >= 0)
        ::fsync(folder.fd);
    return {};
}

}  // namespace

fs::path userDataFolder() {
    // XDG base directories: a relative XDG_DATA_HOME is invalid and ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const fs::path base =
        xdg && *xdg && fs::path(xdg).is_absolute() ? fs::path(xdg) : homeFolder() / ".local" / "share";
    return base / kUserDataFolderName;
}

fs::path suppliedFilesFolder(const fs::path& executableFolder) {
    return executableFolder.parent_path() / "share" / kUserDataFolderName;
}

fs::path defaultProgramFolder(const fs::path& executableFolder) {
    if (::access(executableFolder.c_str(), W_OK | X_OK) != 0) return userDataFolder();
    const bool holdsProgramFiles =
        taken(executableFolder / kSettingsFileName) || taken(executableFolder / kAlarmSoundFile);
    std::error_code ec;
    if (holdsProgramFiles || !fs::is_directory(suppliedFilesFolder(executableFolder), ec)) return executableFolder;
    return userDataFolder();
}

SeedReport seedProgramFolder(const fs::path& folder, const fs::path& suppliedFolder) {
    SeedReport report;
    try {
        createFolders(folder);  // the names synced, so a power cut does not take the folder back
    } catch (const FileError& e) {
        report.failures.push_back("the program folder " + folder.string() + " cannot be made: " + e.what());
        return report;
    }
    struct Supplied {
        const char* name;
        bool required;
    };
    for (const Supplied& file : {Supplied{kSettingsFileName, true}, Supplied{kAlarmSoundFile, false}}) {
        const fs::path target = folder / file.name;
        const fs::path source = suppliedFolder / file.name;
        if (taken(target)) continue;
        if (!taken(source)) {
            if (file.required)
                report.failures.push_back("no " + target.string() + ", and no supplied copy at " + source.string());
            continue;
        }
        bool placed = false;
        const std::string error = copyWithoutReplacing(source, target, placed);
        if (!error.empty()) report.failures.push_back(error);
        if (placed) report.copied.push_back(target);
    }
    return report;
}

}  // namespace rx47
