// The alarm command, named on the command line: a program run when a CPM or dose alarm is raised,
// the way to e-mail, MQTT or a home-automation system without building any of them in. It gets its
// arguments as a list (no shell ever reads them) and the alarm in its environment:
//
//   RX47_ALARM_KIND     "cpm" or "dose"
//   RX47_ALARM_VALUE    the reading (CPM) or the real-time dose (μSv/h) that raised it
//   RX47_ALARM_LEVEL    the level it went above, in the same unit
//   RX47_ALARM_TIME     "2026-05-07T09:30:12+09:00"
//   RX47_ALARM_MESSAGE  the message the window shows
//   RX47_PROGRAM_FOLDER the program folder, which tells one counter from another
//
// The program does not wait for it. One runs at a time: an alarm raised while the last command still
// runs is logged and the command not run for it. How each run ended is logged.
#pragma once

#include <string>

namespace rx47 {

struct Context;
struct CommandExit;

enum class AlarmKind { Cpm, Dose };

/// An alarm being raised: its kind, the value that raised it and the level it went above, as texts.
struct RaisedAlarm {
    AlarmKind kind = AlarmKind::Cpm;
    std::string value;
    std::string level;  ///< empty when the level could not be read
};

/// Starts the alarm command for `alarm`, when one is named and none is still running.
void runAlarmCommand(Context& ctx, const RaisedAlarm& alarm);

/// The alarm command has ended (or turned out not to start): logs how.
void alarmCommandEnded(Context& ctx, const CommandExit& exit);

}  // namespace rx47
