// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/durable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "base/failure.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw FileError(what + " " + path.string() + ": " + std::strerror(error));
}

}  // namespace

void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) fail("cannot open the folder", folder, errno);
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (error != 0) fail("cannot sync the folder", folder, error);
}

bool createFolder(const fs::path& folder) {
    if (::mkdir(folder.c_str(), 0777) != 0) {
        const int error = errno;
        struct stat st {};
        if (error == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
        fail("cannot create", folder, error);
    }
    syncFolder(folder.parent_path());
    return true;
}

void createFolders(const fs::path& folder) {
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) == 0) {
        if (!folder.empty() && !S_ISDIR(st.st_mode)) fail("cannot create", folder, ENOTDIR);
        return;
    }
    const fs::path parent = folder.parent_path();
    if (parent != folder) createFolders(parent);
    createFolder(folder);
}

std::string temporaryNameTemplate(const fs::path& target) {
    return (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
}

bool isTemporaryNameOf(std::string_view name, const fs::path& target) {
    const std::string prefix = "." + target.filename().string() + ".";
    constexpr std::size_t kRandom = 6;  // the characters mkostemp() puts in place of "XXXXXX"
    if (name.size() != prefix.size() + kRandom || name.substr(0, prefix.size()) != prefix) return false;
    for (const char c : name.substr(prefix.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

}  // namespace rx47
