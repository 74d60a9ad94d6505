// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The device's command texts and how a command goes out: the text plus CR LF in one write, and
// nothing at all while the port is closed.
#pragma once

#include <string>
#include <string_view>

namespace rx47 {

class SerialPort;

namespace command {
inline constexpr std::string_view kShow = "show";
inline constexpr std::string_view kSave = "save";
inline constexpr std::string_view kStop = "stop";
inline constexpr std::string_view kGo = "go";
inline constexpr std::string_view kClearTotal = "set ttc=0";
inline constexpr std::string_view kBuzzerOn = "set snd=on";
inline constexpr std::string_view kBuzzerOff = "set snd=off";
/// "set atc=" + level, the CPM alarm level.
std::string setAlarmLevel(long level);
/// "set gms=" + coefficient, the gamma sensitivity coefficient.
std::string setGammaCoefficient(long coefficient);
}  // namespace command

/// Sends one command (CR LF appended) when the port is open. Returns whether it was sent.
bool sendCommand(SerialPort& port, std::string_view text);

}  // namespace rx47
