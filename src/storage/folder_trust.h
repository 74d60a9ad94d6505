// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Whether a program folder is the user's own. The program follows what it finds there: it appends to
// the record files, creates month folders and daily files, lets the database library make its
// journal beside the settings, and takes "RX47.lock" for another copy's. In a folder another user
// made or can write, that user could put links there that turn those writes onto the user's own
// files elsewhere. So, as a secure shell refuses keys in loose folders, the program refuses such a
// folder and says which path is at fault, why, and what to do.
//
// The rule, for the folders on the way to the program folder, the program folder itself and what the
// program uses in it ("RX47.dat" and its journal, "RX47_tmp.dat", "RX47.lock", "RX47.wav", "record/"
// with its month folders and files, "ports/"):
// - each belongs to the user or to root;
// - none can be written by other users: not by everyone, and not by its group unless the user is
//   the group's only member (the user's private group of a umask 002, common on Debian). A folder on
//   the way may be writable by everyone when it has the sticky bit (/tmp): there others cannot move
//   or remove what is not theirs. The program folder itself may not: others could still add names;
// - a link among them is allowed when the user (or root) made it, and what it leads to is held to the
//   same rule; the links of "ports/" lead to devices, which are not judged.
// What does not exist yet is not judged: the program makes it, as the user's.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace rx47 {

/// Why `folder` is not safe to use as the program folder of the user `user`, as one message that
/// names the path at fault, why and what to do; empty when it is safe. Reads the user and group
/// databases, so it is called before other threads start.
std::string programFolderRefusal(const std::filesystem::path& folder, uid_t user);

}  // namespace rx47
