// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/folder_trust.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "storage/program_folder.h"
#include "storage/records.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace fs = std::filesystem;

namespace {

/// A path at fault: why, and what the user can do about it.
struct Fault {
    fs::path path;
    std::string why;
    std::string remedy;
};

std::string userName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return "with id " + std::to_string(uid);
}

std::string groupName(gid_t gid) {
    std::vector<char> buffer(65536);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return "with id " + std::to_string(gid);
}

std::string modeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool trustedOwner(uid_t owner, uid_t user) {
    return owner == user || owner == 0;
}

/// Whether the user is the only member of the group, as its primary group or as a listed member:
/// the private group every user gets on Debian, which a umask of 002 leaves writable. A group
/// without members is not: such groups serve programs that run with their rights.
bool groupOfUserAlone(gid_t gid, uid_t user) {
    const std::string name = userName(user);
    int members = 0;
    {
        std::vector<char> buffer(65536);
        group entry{};
        group* found = nullptr;
        if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
        for (char** member = found->gr_mem; member && *member; ++member) {
            if (name != *member) return false;
            ++members;
        }
    }
    ::setpwent();
    bool alone = true;
    while (const passwd* pw = ::getpwent()) {
        if (pw->pw_gid != gid) continue;
        if (pw->pw_uid != user) {
            alone = false;
            break;
        }
        ++members;
    }
    ::endpwent();
    return alone && members > 0;
}

/// Whether the owner and mode of a folder or file keep other users out. `stickyWillDo`: a folder on
/// the way, where the sticky bit keeps others from moving or removing what is not theirs.
std::optional<Fault> judge(const fs::path& path, const struct stat& st, uid_t user, bool stickyWillDo) {
    const bool folder = S_ISDIR(st.st_mode);
    const std::string kind = folder ? "folder" : "file";
    if (!trustedOwner(st.st_uid, user))
        return Fault{path, "belongs to the user " + userName(st.st_uid),
                     "Use a " + kind + " of your own, or have this one given to you (chown)."};
    if (stickyWillDo && folder && (st.st_mode & S_ISVTX)) return std::nullopt;
    const std::string remedy = "Take the others' right to write away (chmod go-w '" + path.string() + "').";
    if (st.st_mode & S_IWOTH)
        return Fault{path, "can be written by every user (mode " + modeText(st.st_mode) + ")", remedy};
    if ((st.st_mode & S_IWGRP) && !groupOfUserAlone(st.st_gid, user))
        return Fault{path,
                     "can be written by the group " + groupName(st.st_gid) + ", which is not yours alone (mode " +
                         modeText(st.st_mode) + ")",
                     remedy};
    return std::nullopt;
}

/// A name the program uses in the folder: a link must be the user's own, and what it is (or leads
/// to, unless `followLink` is false) is judged. Nothing there is no fault.
std::optional<Fault> judgeEntry(const fs::path& path, uid_t user, bool followLink = true) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (S_ISLNK(st.st_mode)) {
        if (!trustedOwner(st.st_uid, user))
            return Fault{path, "is a link that the user " + userName(st.st_uid) + " put there",
                         "Remove the link (rm '" + path.string() + "')."};
        if (!followLink || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    }
    return judge(path, st, user, false);
}

/// The folders on the way to the program folder, and the program folder itself.
std::optional<Fault> judgeWay(const fs::path& folder, uid_t user) {
    // A link on the way must be one its owner's rights could not turn elsewhere.
    fs::path prefix = folder.root_path();
    for (const fs::path& part : folder.relative_path()) {
        prefix /= part;
        struct stat st {};
        if (::lstat(prefix.c_str(), &st) != 0) break;  // the rest is made by the program
        if (S_ISLNK(st.st_mode) && !trustedOwner(st.st_uid, user))
            return Fault{prefix, "is a link that the user " + userName(st.st_uid) + " made",
                         "Name the program folder by a path of your own."};
    }
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    const fs::path way = ec ? folder : real;
    prefix = way.root_path();
    std::vector<fs::path> folders{prefix};
    for (const fs::path& part : way.relative_path()) folders.push_back(prefix /= part);
    for (const fs::path& path : folders) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) break;
        const bool programFolder = path == folders.back();
        if (auto fault = judge(path, st, user, !programFolder)) return fault;
    }
    return std::nullopt;
}

/// What the program uses inside the program folder.
std::optional<Fault> judgeContents(const fs::path& folder, uid_t user) {
    for (const std::string& name :
         {std::string(kSettingsFileName), std::string(kSettingsFileName) + "-journal",
          std::string(kSettingsTempFileName), std::string("RX47.lock"), std::string(kAlarmSoundFile),
          // The options name programs the monitor runs: another user's file would run theirs.
          std::string(kOptionsFileName)})
        if (auto fault = judgeEntry(folder / name, user)) return fault;

    // The records: the folder, its month folders and master file, and the daily files.
    const fs::path records = folder / kRecordFolder;
    if (auto fault = judgeEntry(records, user)) return fault;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(records, ec)) {
        if (auto fault = judgeEntry(entry.path(), user)) return fault;
        std::error_code inner;
        if (!entry.is_directory(inner)) continue;
        for (const auto& file : fs::directory_iterator(entry.path(), inner))
            if (auto fault = judgeEntry(file.path(), user)) return fault;
    }

    // The port table: which device each port number opens. Its links lead to devices, which belong
    // to the system and its groups by design.
    const fs::path ports = folder / "ports";
    if (auto fault = judgeEntry(ports, user)) return fault;
    for (const auto& entry : fs::directory_iterator(ports, ec))
        if (auto fault = judgeEntry(entry.path(), user, false)) return fault;
    return std::nullopt;
}

}  // namespace

std::string programFolderRefusal(const fs::path& folder, uid_t user) {
    std::optional<Fault> fault = judgeWay(folder, user);
    if (!fault) fault = judgeContents(folder, user);
    if (!fault) return {};
    return "the program folder " + folder.string() + " is not used: " + fault->path.string() + " " + fault->why +
           ", so another user could put links or files there that the program would follow. " + fault->remedy +
           " Or name another program folder with --folder.";
}

}  // namespace rx47
