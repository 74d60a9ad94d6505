// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The device link: listing the serial ports that open, opening the stored port at start-up, noticing
// the device's data and its absence, and walking the listed ports until the device answers.
//
// The link's state is MonitorState::link (model/link_state.h), moved on here only: Linked (status
// message hidden) until the device is not heard; then Searching ("COMポート検索中", one listed port a
// second) while a port is left to try, and NotFound ("RX47の接続を確認してください" and the re-search
// button) once none is. A search that gave up lists the ports again and walks them each minute on its
// own (searchingQuietly), the window asking to check the counter all the while, until the counter
// answers. The program's end leaves the link Stopped.
#pragma once

#include "model/main_form.h"  // kPortList
#include "platform/serial_port.h"

namespace rx47 {

struct Context;

inline constexpr const char* kSearchingText = "COMポート検索中";
inline constexpr const char* kCheckConnectionText = "RX47の接続を確認してください";
inline constexpr const char* kResetCaption = "リセット";
inline constexpr const char* kReSearchCaption = "再検索";
inline constexpr int kHighestPort = 256;

/// Adds the number of every port 1…256 that opens to the port list. The device's port, when open,
/// stays open and is listed; every other number is tried on a port of its own and closed again.
void scanSerialPorts(Context& ctx);

/// Opens port n with the device's line settings (the port must be closed).
void openDevicePort(Context& ctx, int portNumber);

/// Logs why a port did not open (once per port until it opens), and shows in the window a refused
/// permission (with the group to join, or who must grant access) and a port held through its lock
/// file (the file, and the process and user that hold it). The scan does not report ports with no
/// device behind them.
void reportPortOpen(Context& ctx, int portNumber, bool scanning);
/// The same for a failure the scan's trial of port n gave.
void reportPortOpen(Context& ctx, int portNumber, const PortOpenFailure& failure, bool scanning);

/// Start-up connection: show the stored port, open it, ask for a status report, then scan.
void startUpConnection(Context& ctx);

/// The serial port's data-received event. Run again straight after itself it changes nothing (the
/// intake is already due), so a burst of arrivals may be served by one run.
void onDataReceived(Context& ctx);

/// The device has not been heard: show it and go on to the next listed port, or offer a re-search.
void showDeviceNotFound(Context& ctx);

/// The device was heard and is not any more (its port closed, or it stopped answering): every listed
/// port, the lost one included, is tried again from the first.
void deviceLost(Context& ctx, const char* why);

/// Whether the search has no listed port left to try (the link NotFound).
bool searchExhausted(const Context& ctx);

/// Tick of the port-advance timer: open the next listed port.
void portAdvanceTick(Context& ctx);

/// The re-search button: list the ports again and try them all from the first.
void reSearch(Context& ctx);

/// A new minute after the search gave up: the re-search, run on its own. The window keeps asking to
/// check the counter (and offers the button) while the round runs; the log says nothing new.
void searchAgainQuietly(Context& ctx);

}  // namespace rx47
