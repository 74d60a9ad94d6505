// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The intake of received text (tick of the intake timer): status-report tags fill the gamma
// coefficient, the CPM alarm level and the total count; otherwise the text is a reading, accepted
// or rejected, shown as real-time CPM and dose and evaluated against the alarm levels.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rx47 {

struct Context;

/// One tick of the intake timer.
void intakeTick(Context& ctx);

/// The number of the (at most) nine characters that follow the first occurrence of a tag; nothing
/// when the text has no such tag. Throws Overflow for a number beyond a double.
std::optional<double> tagValue(std::string_view text, std::string_view tag);

}  // namespace rx47
