// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a run that was killed or cut off by a power loss leaves behind: temporary files that were to
// take the place of a file and never did. The next start removes them.
#pragma once

#include <filesystem>

namespace rx47 {

class FailureLog;

/// Removes the program's own leftovers: in the program folder the temporary copies of seeding
/// (".RX47.dat.XXXXXX", ".RX47.wav.XXXXXX") and, while "RX47.dat" is there, the compaction's
/// "RX47_tmp.dat" and its journal; beside the metrics file (when one is named) its temporary files,
/// also those of the older "<file>.tmp-<pid>" form. Only those exact names, and only regular files
/// of the user: a link, a folder or another user's file is left alone. Each removal is logged, and
/// each that fails. For the start, once this copy holds the folder (another copy never gets here).
void removeLeftovers(const std::filesystem::path& programFolder, const std::filesystem::path& metricsFile,
                     FailureLog& log);

}  // namespace rx47
