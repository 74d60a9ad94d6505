// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/protocol.h"

#include <string>

#include "platform/serial_port.h"

namespace rx47 {

std::string command::setAlarmLevel(long level) {
    return "set atc=" + std::to_string(level);
}
std::string command::setGammaCoefficient(long coefficient) {
    return "set gms=" + std::to_string(coefficient);
}

bool sendCommand(SerialPort& port, std::string_view text) {
    if (!port.isOpen()) return false;
    std::string line(text);
    line += "\r\n";
    port.write(line);
    return true;
}

}  // namespace rx47
