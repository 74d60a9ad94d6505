// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/received.h"

#include <utility>

#include "base/failure.h"
#include "base/number.h"
#include "platform/serial_port.h"

namespace rx47 {

namespace {

/// A tag's number as a 16-bit field; nothing when the tag is absent or its number cannot be held
/// (a garbled report must not overwrite a stored value).
std::optional<std::uint16_t> fieldValue(std::string_view text, std::string_view tag) {
    std::optional<std::uint16_t> value;
    if (text.find(tag) != std::string_view::npos) step([&] { value = toUInt16(*tagValue(text, tag)); });
    return value;
}

}  // namespace

std::optional<double> tagValue(std::string_view text, std::string_view tag) {
    const auto at = text.find(tag);
    if (at == std::string_view::npos) return std::nullopt;
    return readNumber(text.substr(at + tag.size(), 9));
}

Received readReceived(std::string text) {
    Received r;
    r.text = std::move(text);
    const std::string_view t = r.text;
    r.gammaCoefficient = fieldValue(t, "gms:");
    r.alarmLevelTag = t.find("atc:") != std::string_view::npos;
    r.alarmLevel = fieldValue(t, "atc:");
    r.statusReport = t.find("ttc:") != std::string_view::npos;
    if (r.statusReport)
        step([&] { r.totalCount = tagValue(t, "ttc:"); });
    else
        step([&] { r.reading = readNumber(t); });
    return r;
}

Received receive(SerialPort& port) {
    std::string text;
    step([&] { text = port.readAll(); });
    return readReceived(std::move(text));
}

}  // namespace rx47
