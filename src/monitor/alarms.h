// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarms: after every accepted reading the CPM and the dose are held against their levels; the
// third reading above a level raises the alarm (message bar, optional bar blinking, pop-up and
// sound), which stays until the operator acknowledges it with cmd(0).
//
// States: quiet and counting, and alarm shown (alarmShown: the alarm-flash Timer(7) runs). While an
// alarm is shown no reading counts. The settings are read each time they are used, so whatever the
// settings dialog commits is in force at once; a column that cannot be read counts as set.
#pragma once

#include <string>

#include "monitor/event_command.h"
#include "platform/desktop.h"

namespace rx47 {

struct Context;

inline constexpr const char* kCpmAlarmText = "【警報】 CMP値が設定警報値を超過しました 【警報】";
inline constexpr const char* kDoseAlarmText = "【警報】 放射線量が設定警報値を超過しました 【警報】";

/// Readings above a level that raise the alarm (they need not follow one another).
inline constexpr int kAlarmHitsToRaise = 3;

/// Evaluates the CPM and dose alarm levels for an accepted reading and its dose text (the caption
/// of Label(33)). One reading raises at most one alarm; the CPM alarm goes first.
void evaluateAlarms(Context& ctx, double reading, const std::string& doseText);

/// What the desktop's notification service is told of a raised alarm: the message bar's text, and
/// the value against its level.
Notification alarmNotification(const RaisedAlarm& alarm);

/// Shows the alarm's message in the alarm bar and starts the flash; starts the alarm command and
/// rewrites the metrics file (when named); tells the desktop's notification service when the window is not
/// the active one; brings a minimised window back and to the front
/// (setting `popup`, with `tasktray` also from the notification area) and plays the sound (setting `sound`). Returns
/// when the sound has ended.
void raiseAlarm(Context& ctx, const RaisedAlarm& alarm);

/// Tick of the alarm-flash timer: the message bar and its frame change visibility; with setting
/// `flash` the bars above the CPM alarm level follow the message bar.
void alarmFlashTick(Context& ctx);

/// Ends a shown alarm: the flash stops, the message bar hides, every bar with a value shows again
/// and both hit counters start from 0. The metrics file (when named) shows it at once.
void acknowledgeAlarm(Context& ctx);

}  // namespace rx47
