// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Where the device link stands. The link's handlers (monitor/link.h) move it on; everyone else asks
// it. The search's place among the listed ports is the port list's selection, the walk's own cursor.
#pragma once

namespace rx47 {

enum class LinkState {
    /// The device is taken to be present: heard on its port, or at start-up before anything came
    /// from it. The status message is hidden.
    Linked,
    /// Not heard: the listed ports are tried one after the other, a port advance pending or the port
    /// just opened waiting for its answer. The window says "COMポート検索中" (or, in a round the search
    /// runs on its own after it gave up, keeps asking to check the counter).
    Searching,
    /// Not heard, and no listed port is left to try: the walk stands on the last one (which stays open
    /// and is the device's if it answers there) or none is listed. From the next look on the window asks
    /// to check the counter and offers the re-search; each new minute starts a round again.
    NotFound,
    /// The program's end closed the port for good; its timers tick no more, so nothing searches.
    Stopped,
};

}  // namespace rx47
