// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The commands that tell the world what the monitor meets, named on the command line or in the
// options file: the event command, run for every event, and the older alarm command, run for alarms
// only. Each gets its arguments as a list (no shell ever reads them) and the event in its
// environment:
//
//   RX47_EVENT          "alarm", "acknowledged", "device-lost", "device-found" or "minute"
//   RX47_TIME           when it happened, "2026-05-07T09:30:12+09:00"
//   RX47_PROGRAM_FOLDER the program folder, which tells one counter from another
//   an alarm:           RX47_ALARM_KIND ("cpm" or "dose"), RX47_ALARM_VALUE (the reading, or the
//                       dose in μSv/h), RX47_ALARM_LEVEL, RX47_ALARM_TIME, RX47_ALARM_MESSAGE
//   the counter:        RX47_PORT ("COM3")
//   a minute:           RX47_CPM, RX47_DOSE, RX47_AVERAGE_CPM, RX47_AVERAGE_DOSE, RX47_MAX_CPM,
//                       RX47_MAX_DOSE, RX47_MIN_CPM, RX47_MIN_DOSE, RX47_TOTAL_COUNT
//
// The program does not wait for a command. One runs at a time per command: an event that comes
// while it runs waits its turn (up to kPendingRuns; then the oldest waiting one is dropped, and the
// log says so). A run past the time limit is ended and logged; what the command writes is logged
// (its first lines), never passed through; how each run ended is logged.
#pragma once

#include <string>

#include "model/alarm_kind.h"

namespace rx47 {

struct EventContext;
struct CommandExit;
class Clock;

/// An alarm being raised: its kind, the value that raised it and the level it went above, as texts.
struct RaisedAlarm {
    AlarmKind kind = AlarmKind::Cpm;
    std::string value;
    std::string level;  ///< empty when the level could not be read
};

enum class EventKind { Alarm, Acknowledged, DeviceLost, DeviceFound, Minute };

/// How many events wait for a command that still runs.
inline constexpr std::size_t kPendingRuns = 20;
/// How many lines of a command's output go to the log.
inline constexpr int kOutputLinesLogged = 10;

/// The clock's local time now, as "2026-05-07T09:30:12+09:00" ("" when it names no moment).
std::string nowText(const Clock& clock);

/// An alarm is raised: the alarm command and the event command hear of it.
void reportAlarmRaised(EventContext ctx, const RaisedAlarm& alarm);
/// An alarm is acknowledged, the counter is lost or found again, or a minute was entered: the event
/// command hears of it (a minute only when asked for).
void reportEvent(EventContext ctx, EventKind kind);

/// A command has ended (or turned out not to start): logs how and what it wrote, and starts the
/// next waiting run. `alarmCommand` tells which of the two.
void commandEnded(EventContext ctx, bool alarmCommand, const CommandExit& exit);

}  // namespace rx47
