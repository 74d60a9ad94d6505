// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's timers, by index as the main window numbers them (0, 2, 3, 4, 5, 6, 7, 9, 10), and
// index 11, the timer of the notification-area icon's owner that removes the icon after a restore.
// The program owns this set: its timer array is made with it, and an index not in it never runs.
#pragma once

#include <array>

namespace rx47::timer {

inline constexpr int kMinute = 0;            ///< single-shot to the next clock minute: the per-minute update
inline constexpr int kRxLamp = 2;            ///< 50 ms: receive-lamp blink
inline constexpr int kIntake = 3;            ///< 500 ms: intake of received text
inline constexpr int kErrorLamp = 4;         ///< 50 ms: error-lamp blink
inline constexpr int kSplash = 5;            ///< 1000 ms: splash delay
inline constexpr int kSaveDelay = 6;         ///< 1000 ms: device-save delay, ends with "save"
inline constexpr int kAlarmFlash = 7;        ///< 1000 ms: alarm flash
inline constexpr int kTxLamp = 9;            ///< 50 ms: send-lamp blink
inline constexpr int kPortAdvance = 10;      ///< 1000 ms: next port of the search
inline constexpr int kTrayIconRemoval = 11;  ///< 500 ms: removes the tray icon after a restore

/// Every timer of the program, for its timer array.
inline constexpr std::array<int, 10> kAll = {kMinute,    kRxLamp,     kIntake, kErrorLamp,   kSplash,
                                             kSaveDelay, kAlarmFlash, kTxLamp, kPortAdvance, kTrayIconRemoval};

}  // namespace rx47::timer
