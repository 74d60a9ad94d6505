// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer schedule of the main window: the timers' intervals (model/timers.h names them), the one
// tick handler that dispatches by index, and the short self-stopping sequences that belong to no
// other behaviour (the three lamp blinks, the splash delay and the device-save delay).
#pragma once

#include "model/timers.h"

namespace rx47 {

struct Context;
struct ScheduleContext;
class TimerArray;

/// An alarm is shown (its message flashing) from its raising to its acknowledgement: while the
/// alarm-flash timer runs.
bool alarmShown(const TimerArray& timers);
bool alarmShown(ScheduleContext ctx);
/// A device save is pending (the device-save delay runs, replies wait in the buffer until "save"
/// has gone out): while the save-delay timer runs.
bool savePending(ScheduleContext ctx);

/// Sets every timer's interval, in index order, stopping each right after. The per-minute timer is
/// single-shot; the lamps and the alarm flash, which the user sees blink, and the per-minute timer,
/// which keeps to the clock's minute, are precise; the others are coarse.
void setUpTimers(ScheduleContext ctx);

/// Arms the per-minute timer for its next tick: at the next clock minute (sleeping at most five
/// seconds at a time, and at the wall clock's pace when it ran faster than the timers), or at the next
/// second while an update is forced (the last update's minute set to 0 within a clock minute other
/// than 0).
void armMinuteTimer(ScheduleContext ctx);

/// Forces the next per-minute update (after a port advance, a re-search or a regained link): it comes
/// at the next second, keeping the receive buffer.
void forceMinuteUpdate(ScheduleContext ctx);

/// Puts the timers in order after a handler that may have forced the per-minute update (the last
/// update's minute set to 0) or started a lamp's blink through the timer array itself: a forced
/// update is armed for the next second, and a blink started while the window is off screen ends at
/// once, dim. Every timer tick ends with it.
void keepTimersDue(ScheduleContext ctx);

/// Blinks a lamp (timers 2, 4 and 9). While the window is off screen nobody sees a blink: the lamp
/// is only left as a blink ends, dim, and its timer sleeps.
void blinkLamp(ScheduleContext ctx, int timerIndex);

/// The one tick handler of the timer array. An index without an entry does nothing; index 11 goes to
/// the handler the tray registered in the context.
void onTimerTick(Context& ctx, int index);

/// One tick of a lamp blink (timers 2, 4 and 9): bright for one tick, then dim; a blink that has
/// gone dim stops at once (the timer runs only while the lamp is lit).
void lampBlinkTick(ScheduleContext ctx, int timerIndex);

/// One tick of the splash delay: on the second tick, stop, start the per-minute timer and close
/// the splash.
void splashDelayTick(Context& ctx);

/// One tick of the device-save delay: on the fourth tick, stop, blink the send lamp, send "save"
/// and start the intake.
void saveDelayTick(Context& ctx);

}  // namespace rx47
