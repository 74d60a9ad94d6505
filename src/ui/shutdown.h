// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The end of the program: however it is ended (the window closed, a logout, Ctrl-C, a service
// stop), the exit is counted, the settings are committed and closed, the port is closed, the
// notification-area icon is removed and, every 100th exit, the settings file is compacted.
#pragma once

namespace rx47 {

struct Context;

/// The shutdown sequence. Every step skips its own failure; closing is never refused and nothing
/// is sent to the device. A wait for the alarm sound ends at once.
void Form_QueryUnload(Context& ctx);

}  // namespace rx47
