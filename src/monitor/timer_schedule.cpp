// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/timer_schedule.h"

#include <algorithm>
#include <optional>

#include "base/failure.h"
#include "base/local_time.h"
#include "device/protocol.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "monitor/intake.h"
#include "monitor/link.h"
#include "monitor/minute_update.h"
#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"

namespace rx47 {

namespace {

struct Lamp {
    int label;
    Colour bright;
    Colour dim;
    bool MonitorState::*phase;
    std::int16_t MonitorState::*ticks;
};

Lamp lampOf(int timerIndex) {
    switch (timerIndex) {
        case timer::kRxLamp:
            return {kRxLamp, kLampGreen, kLampDarkGreen, &MonitorState::rxLampLit, &MonitorState::rxBlinkTicks};
        case timer::kTxLamp:
            return {kTxLamp, kLampGreen, kLampDarkGreen, &MonitorState::txLampLit, &MonitorState::txBlinkTicks};
        default:
            return {kErrorLamp, kLampRed, kLampDarkRed, &MonitorState::errorLampLit, &MonitorState::errorBlinkTicks};
    }
}

}  // namespace

bool alarmShown(const TimerArray& timers) {
    return timers.isRunning(timer::kAlarmFlash);
}

bool alarmShown(ScheduleContext ctx) {
    return alarmShown(ctx.timers);
}

bool savePending(ScheduleContext ctx) {
    return ctx.timers.isRunning(timer::kSaveDelay);
}

void setUpTimers(ScheduleContext ctx) {
    const struct {
        int index;
        int milliseconds;
    } intervals[] = {{timer::kMinute, 1000},     {timer::kRxLamp, 50},   {timer::kIntake, 500},
                     {timer::kErrorLamp, 50},    {timer::kSplash, 1000}, {timer::kSaveDelay, 1000},
                     {timer::kAlarmFlash, 1000}, {timer::kTxLamp, 50},   {timer::kPortAdvance, 1000}};
    for (const auto& t : intervals) {
        ctx.timers.setInterval(t.index, t.milliseconds);
        ctx.timers.stop(t.index);
    }
    // The minute's update sleeps until the next clock minute instead of looking every second.
    ctx.timers.setSingleShot(timer::kMinute, true);
    // Timers whose exact moment nobody sees may share the program's wake-ups.
    for (int index : {timer::kIntake, timer::kSplash, timer::kSaveDelay, timer::kPortAdvance, timer::kTrayIconRemoval})
        ctx.timers.setCoarse(index, true);
}

namespace {

constexpr int kForcedSleepMs = 1000;   // a forced update comes at the next second
constexpr int kLongestSleepMs = 5000;  // a clock set by hand or a resume is noticed within this
constexpr int kShortestSleepMs = 100;  // however fast the wall clock runs, the timer never spins
constexpr int kClockGrainMs = 1000;    // the wall clock is read to the whole second

std::optional<std::int64_t> wallSeconds(const LocalDateTime& t) {
    return localSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

/// How many wall-clock milliseconds passed per timer millisecond over the sleep that just ended. The
/// wall clock is read to the second, so a sleep counts as faster than the timers only when the clock
/// moved on by more than twice the sleep beyond that grain: a clock put forward, or one that runs
/// fast (a clock sped up by a test's fake time). Anything else, a clock put back included, is 1.
double paceOfLastSleep(const MonitorState& s, const std::optional<std::int64_t>& now) {
    if (!now || s.minuteArmedAt < 0 || s.minuteSleepMs <= 0) return 1;
    const double pace = (static_cast<double>(*now - s.minuteArmedAt) * 1000 - kClockGrainMs) / s.minuteSleepMs;
    return pace >= 2 ? pace : 1;
}

/// The per-minute timer's tick: the update, then the timer armed again however the update ended.
void minuteTick(Context& ctx) {
    MonitorState& s = ctx.state;
    s.wallClockPace = paceOfLastSleep(s, wallSeconds(ctx.clock.now()));
    try {
        minuteUpdate(ctx);
    } catch (...) {
        armMinuteTimer(ctx);
        throw;
    }
    armMinuteTimer(ctx);
}

}  // namespace

void armMinuteTimer(ScheduleContext ctx) {
    MonitorState& s = ctx.state;
    const LocalDateTime now = ctx.clock.now();
    // In minute 0 a forced update waits for minute 1 as any other would: its minute equals lastMinute.
    const bool forced = s.lastMinute == 0 && now.minute != 0;
    int sleepMs = kForcedSleepMs;
    if (!forced) {
        // The clock has whole seconds: the tick comes within the first second of the next minute. It
        // sleeps at most a few seconds at a time, so that a clock set by hand, stepped by the time
        // service or moved on by a suspend (the timers stand still while the machine sleeps) gives the
        // update within that while; a tick that finds the minute unchanged sleeps again for the rest.
        // A wall clock that ran faster than the timers over the last sleep (it was put forward, or it
        // runs fast) is followed at its pace: the next sleep is shorter, never shorter than a tenth of
        // a second.
        const int second = now.second < 0 || now.second > 59 ? 59 : now.second;
        const double toNextMinute = (60 - second) * 1000.0 / std::max(1.0, s.wallClockPace);
        sleepMs = static_cast<int>(std::clamp(toNextMinute, double{kShortestSleepMs}, double{kLongestSleepMs}));
    }
    s.minuteArmedAt = wallSeconds(now).value_or(-1);
    s.minuteSleepMs = sleepMs;
    s.minuteSleepForced = forced;
    ctx.timers.setInterval(timer::kMinute, sleepMs);
    ctx.timers.start(timer::kMinute);
}

void forceMinuteUpdate(ScheduleContext ctx) {
    ctx.state.lastMinute = 0;
    keepTimersDue(ctx);
}

void keepTimersDue(ScheduleContext ctx) {
    MonitorState& s = ctx.state;
    // An update the link forced (a port advance, a re-search, a regained link) comes at the next second.
    // Before the splash has gone, and within its own tick, the minute timer is not running: its
    // arming then sees the forced update.
    if (s.lastMinute == 0 && !s.minuteSleepForced && ctx.timers.isRunning(timer::kMinute) &&
        ctx.clock.now().minute != 0)
        armMinuteTimer(ctx);
    // Off screen nobody sees a blink: one the intake or the link started ends at once, left dim as a blink ends.
    if (ctx.form.windowState == WindowState::Normal) return;
    for (int index : {timer::kRxLamp, timer::kErrorLamp, timer::kTxLamp}) {
        const Lamp lamp = lampOf(index);
        if (!ctx.timers.isRunning(index) || s.*lamp.ticks != 0) continue;
        ctx.timers.stop(index);
        ctx.form.Label[lamp.label].backColour = lamp.dim;
    }
}

void blinkLamp(ScheduleContext ctx, int timerIndex) {
    if (ctx.form.windowState != WindowState::Normal && !ctx.timers.isRunning(timerIndex)) {
        const Lamp lamp = lampOf(timerIndex);
        ctx.form.Label[lamp.label].backColour = lamp.dim;
        return;
    }
    ctx.timers.start(timerIndex);
}

void lampBlinkTick(ScheduleContext ctx, int timerIndex) {
    const Lamp lamp = lampOf(timerIndex);
    MonitorState& s = ctx.state;
    LabelControl& label = ctx.form.Label[lamp.label];
    if (s.*lamp.ticks == 0 && ctx.form.windowState != WindowState::Normal) {
        // A blink started off screen (by a regained link) ends on its first tick, dim.
        ctx.timers.stop(timerIndex);
        label.backColour = lamp.dim;
        return;
    }
    if (s.*lamp.ticks < 2) {
        if (s.*lamp.phase) {
            s.*lamp.phase = false;
            label.backColour = lamp.bright;
        } else {
            label.backColour = lamp.dim;
            s.*lamp.phase = true;
        }
        ++(s.*lamp.ticks);
        // The third tick would only paint the dim colour again: a blink that has gone dim ends now.
        if (s.*lamp.ticks == 2 && s.*lamp.phase) {
            ctx.timers.stop(timerIndex);
            s.*lamp.ticks = 0;
        }
    } else {
        ctx.timers.stop(timerIndex);
        s.*lamp.ticks = 0;
        label.backColour = lamp.dim;
    }
}

void splashDelayTick(Context& ctx) {
    MonitorState& s = ctx.state;
    if (s.splashTicks > 0) {
        ctx.timers.stop(timer::kSplash);
        s.splashTicks = 0;
        armMinuteTimer(ctx);
        ctx.desktop.closeSplash();
    } else {
        ++s.splashTicks;
    }
}

void saveDelayTick(Context& ctx) {
    MonitorState& s = ctx.state;
    if (s.saveDelayTicks > 2) {
        ctx.timers.stop(timer::kSaveDelay);
        blinkLamp(ctx, timer::kTxLamp);
        s.saveDelayTicks = 0;
        step([&] { sendCommand(ctx.port, command::kSave); });
        ctx.timers.start(timer::kIntake);
    } else {
        ++s.saveDelayTicks;
    }
}

namespace {

void dispatchTick(Context& ctx, int index) {
    switch (index) {
        case timer::kMinute:
            minuteTick(ctx);
            break;
        case timer::kRxLamp:
        case timer::kErrorLamp:
        case timer::kTxLamp:
            lampBlinkTick(ctx, index);
            break;
        case timer::kIntake:
            intakeTick(ctx);
            break;
        case timer::kSplash:
            splashDelayTick(ctx);
            break;
        case timer::kSaveDelay:
            saveDelayTick(ctx);
            break;
        case timer::kAlarmFlash:
            alarmFlashTick(ctx);
            break;
        case timer::kPortAdvance:
            portAdvanceTick(ctx);
            break;
        case timer::kTrayIconRemoval:
            if (ctx.trayIconTick) ctx.trayIconTick(ctx);
            break;
        default:
            break;
    }
}

}  // namespace

void onTimerTick(Context& ctx, int index) {
    // What the tick's handler started or forced (the intake's blink, a port advance's update) is put
    // in order as the tick ends, however it ends.
    try {
        dispatchTick(ctx, index);
    } catch (...) {
        keepTimersDue(ctx);
        throw;
    }
    keepTimersDue(ctx);
}

}  // namespace rx47
