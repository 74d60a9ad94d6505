// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The dose caption of a count where the monitor shows one (the real-time reading, the minute's
// average, maximum, minimum and running average): the dose text, and what a missing coefficient
// means for the link.
#pragma once

#include <string>

#include "model/quantities.h"

namespace rx47 {

struct ProgramValues;
class SettingsRow;

/// Whether a count means that nothing has been heard from the device: 0 CPM with no coefficient
/// known yet (0 ÷ 0). The caller then runs the device-not-found handling, which starts the port search.
bool meansNoDevice(const ProgramValues& values, Cpm cpm);

/// The dose caption of a count: its dose rate truncated to three places, or "" while no coefficient
/// is known, when a count other than 0 takes the stored coefficient for the captions that follow.
std::string doseCaption(ProgramValues& values, const SettingsRow& settings, Cpm cpm);

}  // namespace rx47
