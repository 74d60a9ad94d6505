// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/timer_schedule.h"

#include "base/failure.h"
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
#include "ui/tray.h"

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

bool alarmShown(const Context& ctx) {
    return ctx.timers.isRunning(timer::kAlarmFlash);
}

bool savePending(const Context& ctx) {
    return ctx.timers.isRunning(timer::kSaveDelay);
}

void setUpTimers(Context& ctx) {
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

void armMinuteTimer(Context& ctx) {
    const LocalDateTime now = ctx.clock.now();
    // In minute 0 a forced update waits for minute 1 as any other would: its minute equals lastMinute.
    const bool forced = ctx.state.lastMinute == 0 && now.minute != 0;
    const int second = now.second < 0 || now.second > 59 ? 59 : now.second;
    // The clock has whole seconds: the tick comes within the first second of the next minute. A tick
    // that comes early finds the minute unchanged and arms the timer for the second that follows.
    ctx.timers.setInterval(timer::kMinute, forced ? 1000 : (60 - second) * 1000);
    ctx.timers.start(timer::kMinute);
}

void forceMinuteUpdate(Context& ctx) {
    ctx.state.lastMinute = 0;
    // Before the splash has gone the minute timer is not yet running; its start arms it so.
    if (ctx.timers.isRunning(timer::kMinute)) armMinuteTimer(ctx);
}

void blinkLamp(Context& ctx, int timerIndex) {
    if (ctx.form.windowState != WindowState::Normal && !ctx.timers.isRunning(timerIndex)) {
        const Lamp lamp = lampOf(timerIndex);
        ctx.form.Label[lamp.label].backColour = lamp.dim;
        return;
    }
    ctx.timers.start(timerIndex);
}

void lampBlinkTick(Context& ctx, int timerIndex) {
    const Lamp lamp = lampOf(timerIndex);
    MonitorState& s = ctx.state;
    LabelControl& label = ctx.form.Label[lamp.label];
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

void onTimerTick(Context& ctx, int index) {
    switch (index) {
        case timer::kMinute:
            // However the update ends, the timer is armed again for the next minute.
            try {
                minuteUpdate(ctx);
            } catch (...) {
                armMinuteTimer(ctx);
                throw;
            }
            armMinuteTimer(ctx);
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
            taskicon_TimerTick(ctx);
            break;
        default:
            break;
    }
}

}  // namespace rx47
