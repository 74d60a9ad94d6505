// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The core over the real serial port (pseudo-terminals listed in the folder's ports/) and Qt's
// timers, with a settable clock and doubles for the desktop, the sound and the event pump: what the
// integration tests drive against the simulator. Wired as the program wires it, at 09:30:10 on
// 7 May 2026 with that month's record folders made; nothing is started.
#pragma once

#include <filesystem>
#include <string>

#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "storage/records.h"
#include "support/program_folder.h"

namespace rx47::test {

/// The outside world over the real port and Qt's timers.
struct LiveParts : Fakes {
    using Port = QtSerialPort;
    using Timers = QtTimerArray;
};

struct LiveCore : Rig<LiveParts> {
    /// The program folder is `subfolder` of the temporary folder (the folder itself when empty); the
    /// port table is the temporary folder's ports/.
    explicit LiveCore(const std::filesystem::path& subfolder = {}) : Rig({.programFolder = subfolder}) {
        std::filesystem::create_directories(folder.path() / "ports");
        std::filesystem::create_directories(programFolder);
        settings.open(folder.path());
        setUpTimers(ctx);
        dispatchTicks();
        dispatchReceivedData();
        clock.time = {2026, 5, 7, 9, 30, 10};
        state.monthFolder = monthFolderName(clock.time);
        createRecordFolders(programFolder, state.monthFolder);
    }

    /// Where a simulator links port n.
    std::filesystem::path portLink(int n) const { return folder.path() / "ports" / ("COM" + std::to_string(n)); }
};

}  // namespace rx47::test
