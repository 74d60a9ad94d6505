// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Names that survive a power cut. A file's data is on the disk once the file is synced; its name is
// there only once the folder holding the name is synced, and a new folder's name only once its
// parent is. These make and sync folders so that what the program made stays made.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace rx47 {

/// Writes a folder's names (made, removed or renamed in it) to the disk. Throws FileError.
void syncFolder(const std::filesystem::path& folder);

/// Makes a folder whose parent exists, and syncs the parent so that the new name stays. Returns
/// whether it was made (false: it was there). Throws FileError.
bool createFolder(const std::filesystem::path& folder);

/// Makes a folder and every missing folder above it, each new name synced in its parent. Throws
/// FileError.
void createFolders(const std::filesystem::path& folder);

/// The template for mkostemp() of a temporary file that is to take the place of `target`: beside it,
/// hidden, "." + its name + "." + six characters the library picks.
std::string temporaryNameTemplate(const std::filesystem::path& target);

/// Whether a file name is one that temporaryNameTemplate(target) can give: a leftover of a write
/// of `target` that did not end.
bool isTemporaryNameOf(std::string_view name, const std::filesystem::path& target);

}  // namespace rx47
