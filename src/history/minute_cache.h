// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The minutes of a large record file kept beside the user's other caches, so that ten years of
// master file are not read line by line at every start. The cache only ever stands for a leading
// part of the file as it was: it is taken when the file is the same one (device and inode), that part
// of it still ends in the same bytes, and, when the file has not grown, its time of change is the
// same; its own content is checked against a hash. Anything else, and the file is read as if there
// were no cache. The record folder is the monitor's and is never written to.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "history/record_reader.h"

namespace rx47::history {

/// What a cache holds of a file: its minutes up to `consumed` bytes, and the line counts and last
/// moment that reading them gave.
struct CachedPart {
    std::uint64_t consumed = 0;
    LineCounts counts;
    std::optional<std::int64_t> previous;
    std::vector<Minute> minutes;
};

/// The folder for the caches: $XDG_CACHE_HOME/rx47-history, or ~/.cache/rx47-history; empty when
/// neither can be had.
std::filesystem::path userCacheFolder();

/// A file's part from the cache in `folder`, when it can be trusted for the file open as `fd` with
/// status `st`; nothing otherwise. Never throws.
std::optional<CachedPart> loadCachedPart(const std::filesystem::path& folder, const std::filesystem::path& file, int fd,
                                         const struct stat& st);

/// Keeps a file's part in the cache in `folder` (written to a new file and renamed over the old one).
/// Failures are ignored: the cache is only a saving.
void storeCachedPart(const std::filesystem::path& folder, const std::filesystem::path& file, int fd,
                     const struct stat& st, const CachedPart& part);

}  // namespace rx47::history
