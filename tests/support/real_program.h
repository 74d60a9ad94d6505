// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The real rx47-monitor in a program folder of its own, started as a user would start it and ended
// by signals, for the tests and loops that judge the program from outside: a copy of the build's
// program with the supplied RX47.dat and RX47.wav beside it and a port table of its own. Options put
// it under a fake clock (libfaketime), a preloaded kill point, a file-size limit or an ordinary
// user's permissions; the program itself is the one the build made.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/process.h"

namespace rx47::test {

/// A temporary program folder holding a copy of the program, "RX47.wav", an empty "ports/" and
/// (unless told otherwise) the supplied "RX47.dat". Removed with everything in it.
class ProgramCopy {
public:
    explicit ProgramCopy(bool withSettings = true);
    /// The same in a folder that exists already (a mount point, say); it is not removed.
    ProgramCopy(const std::filesystem::path& folder, bool withSettings);
    ~ProgramCopy();
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path settingsFile() const;
    std::filesystem::path recordFolder() const;
    /// Where the simulator links port n.
    std::filesystem::path port(int n) const;
    /// Where the program's standard error goes unless told otherwise: beside the folder.
    std::filesystem::path logFile() const;

private:
    void fill(bool withSettings);
    std::filesystem::path path_;
    bool owned_ = false;
};

struct LaunchOptions {
    /// Run under a fake clock that starts at this local time...
    std::optional<LocalDateTime> fakeStart;
    /// ...and runs this many times faster than the real one (the program's timers keep real time).
    int fakeSpeed = 1;
    /// Further libraries to preload (a kill point).
    std::vector<std::string> preload;
    /// Further environment, "NAME=value" (a QT_QPA_PLATFORM here chooses the desktop, WAYLAND_DISPLAY
    /// and the like with it).
    std::vector<std::string> environment;
    /// The program's command-line arguments.
    std::vector<std::string> arguments;
    /// Run with the rights of an ordinary user, so that file permissions bind (the program folder
    /// is handed to that user first). Only matters when the tests run as root.
    bool ordinaryUser = false;
    /// A file-size limit for the program (SIGXFSZ ignored, so a write past it fails as on a full
    /// disk), in bytes.
    std::optional<long> fileSizeLimit;
    /// Where the program's standard error goes (empty: the folder's log file).
    std::filesystem::path errorLog;
    /// The X display to run on (empty: Qt's offscreen platform).
    std::string display;
};

/// The preloadable libfaketime, or "" when it is not installed.
std::string fakeTimeLibrary();
/// The user id the ordinary-user option runs as (nobody).
uid_t ordinaryUserId();

class RealProgram : public Child {
public:
    RealProgram(const ProgramCopy& folder, const LaunchOptions& options = {});

    /// The program's file-size limit, changed while it runs (prlimit); -1 lifts it.
    bool setFileSizeLimit(long bytes);
};

}  // namespace rx47::test
