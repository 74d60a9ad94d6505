// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/alarms.h"

#include "base/failure.h"
#include "base/log.h"
#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarm_sound.h"
#include "monitor/metrics_file.h"
#include "monitor/mqtt_report.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

/// Counts one reading towards an alarm; the third raises it and the count starts again.
bool countHit(std::int16_t& hits) {
    step([&] { hits = toInt16(static_cast<double>(hits) + 1); });
    if (hits < kAlarmHitsToRaise) return false;
    hits = 0;
    return true;
}

}  // namespace

Notification alarmNotification(const RaisedAlarm& alarm) {
    Notification n;
    n.critical = true;
    const std::string level = alarm.level.empty() ? "?" : alarm.level;
    if (alarm.kind == AlarmKind::Cpm) {
        n.summary = kCpmAlarmText;
        n.body = "CPM " + alarm.value + "（警報値 " + level + " CPM）";
    } else {
        n.summary = kDoseAlarmText;
        n.body = "線量 " + alarm.value + " μSv/h（警報値 " + level + " μSv/h）";
    }
    return n;
}

void evaluateAlarms(Context& ctx, double reading, const std::string& doseText) {
    MonitorState& s = ctx.state;
    // While an alarm is shown nothing counts, even when a setting cannot be read: the shown alarm
    // would otherwise be raised again (and its sound played again) every third reading.
    if (alarmShown(ctx)) return;

    bool raised = false;
    stepIf([&] { return ctx.settings.isTrue(column::kAlarms) && reading > ctx.values.cpmAlarmLevel; },
           [&] {
               if (countHit(s.cpmAlarmHits)) {
                   raised = true;
                   raiseAlarm(ctx, {AlarmKind::Cpm, decimalText(reading), decimalText(ctx.values.cpmAlarmLevel)});
               }
           });

    // One reading raises one alarm, and the CPM alarm wins. Checking the flash timer alone is not
    // enough: the operator may have acknowledged the CPM alarm while its sound played.
    if (raised) return;
    stepIf(
        [&] {
            return ctx.settings.isTrue(column::kAlarms) &&
                   ctx.settings.number(column::kDoseAlarmLevel) < readNumber(doseText);
        },
        [&] {
            if (countHit(s.doseAlarmHits)) {
                std::string level;
                step([&] { level = decimalText(ctx.settings.number(column::kDoseAlarmLevel)); });
                raiseAlarm(ctx, {AlarmKind::Dose, doseText, level});
            }
        });
}

void raiseAlarm(Context& ctx, const RaisedAlarm& alarm) {
    MainForm& f = ctx.form;
    ctx.state.shownAlarm = alarm.kind;
    const std::string message = alarm.kind == AlarmKind::Cpm ? kCpmAlarmText : kDoseAlarmText;
    f.Label[kAlarmBanner].caption = message;
    ctx.timers.start(timer::kAlarmFlash);
    ctx.log.info(LogCategory::Program, "alarm raised: " + message);
    // Before the sound, which holds this handler until it ends: the world hears of it at once.
    reportAlarmRaised(ctx, alarm);
    writeMetricsFile(ctx);
    publishAlarmRaised(ctx, alarm);

    // The user may not have the window before their eyes: the desktop's notification service tells
    // of the alarm over any window, also where a program cannot raise its own (Wayland).
    bool seen = false;
    step([&] { seen = f.windowState == WindowState::Normal && ctx.desktop.mainWindowActive(); });
    if (!seen) step([&] { ctx.desktop.notify(alarmNotification(alarm)); });

    // A window hidden in the notification area is minimised as well.
    stepIf([&] { return ctx.settings.isTrue(column::kPopup) && f.windowState != WindowState::Normal; },
           [&] {
               if (f.windowState == WindowState::Minimised) f.windowState = WindowState::Normal;
               stepIf([&] { return ctx.settings.isTrue(column::kTaskTray); },
                      [&] {
                          f.windowState = WindowState::Normal;
                          ctx.desktop.removeTrayIcon();
                      });
           });
    // Back on the screen, or there all along behind other windows: it comes to the front.
    if (!seen && f.windowState == WindowState::Normal)
        stepIf([&] { return ctx.settings.isTrue(column::kPopup); }, [&] { ctx.desktop.raiseMainWindow(); });

    stepIf([&] { return ctx.settings.isTrue(column::kSound); }, [&] { playAlarmSound(ctx); });
}

void alarmFlashTick(Context& ctx) {
    MainForm& f = ctx.form;
    LabelControl& banner = f.Label[kAlarmBanner];
    banner.visible = !banner.visible;
    f.Shape1[kAlarmBox].visible = !f.Shape1[kAlarmBox].visible;

    // The bars blink against the CPM level, during a dose alarm too.
    stepIf([&] { return ctx.settings.isTrue(column::kFlash); },
           [&] {
               for (int i : graph::kMinuteBars)
                   stepIf([&] { return readNumber(f.tgt[i].caption) > ctx.values.cpmAlarmLevel; },
                          [&] { f.tgt[i].visible = banner.visible; });
           });
}

void acknowledgeAlarm(Context& ctx) {
    MainForm& f = ctx.form;
    const bool shown = alarmShown(ctx);
    ctx.timers.stop(timer::kAlarmFlash);
    f.Label[kAlarmBanner].visible = false;
    f.Shape1[kAlarmBox].visible = false;
    // Whatever the last flash left: a bar with a value shows.
    for (int i : graph::kMinuteBars)
        stepIf([&] { return readNumber(f.tgt[i].caption) != 0; }, [&] { f.tgt[i].visible = true; },
               [&] { f.tgt[i].visible = false; });
    ctx.state.cpmAlarmHits = 0;
    ctx.state.doseAlarmHits = 0;
    writeMetricsFile(ctx);
    if (shown) {
        publishAlarmAcknowledged(ctx);
        reportEvent(ctx, EventKind::Acknowledged);
    } else {
        publishState(ctx);
    }
}

}  // namespace rx47
