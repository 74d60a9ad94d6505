// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/intake.h"

#include "base/failure.h"
#include "base/number.h"
#include "device/received.h"
#include "display/alarm_line.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "monitor/dose.h"
#include "monitor/link.h"
#include "monitor/metrics_file.h"
#include "monitor/mqtt_report.h"
#include "monitor/notices.h"
#include "monitor/timer_schedule.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

void intakeTick(Context& ctx) {
    MonitorState& s = ctx.state;
    ProgramValues& v = ctx.values;

    // While the device-save delay runs, replies stay in the buffer and are read after the "save".
    if (savePending(ctx)) return;

    ctx.timers.stop(timer::kIntake);
    ctx.timers.start(timer::kRxLamp);

    const Received r = receive(ctx.port);
    if (!r.text.empty()) s.heardThisMinute = true;

    if (v.gammaCoefficient == 0 && r.gammaCoefficient) {
        v.gammaCoefficient = *r.gammaCoefficient;
        step([&] { ctx.settings.write(column::kGammaCoefficient, std::int64_t{v.gammaCoefficient}); });
        step([&] { ctx.settings.commit(); });
    }
    if (v.gammaCoefficient == 0)
        step([&] { v.gammaCoefficient = toUInt16(ctx.settings.number(column::kGammaCoefficient)); });

    if (v.cpmAlarmLevel == 0 && r.alarmLevelTag) {
        // A level that cannot be held (a garbled report) must not overwrite the stored one.
        if (r.alarmLevel) {
            v.cpmAlarmLevel = *r.alarmLevel;
            step([&] { ctx.settings.write(column::kCpmAlarmLevel, std::int64_t{v.cpmAlarmLevel}); });
            step([&] { ctx.settings.commit(); });
        }
        updateCpmAlarmLine(ctx, AlarmLineChange::LevelReported);
    }
    if (v.cpmAlarmLevel == 0) step([&] { v.cpmAlarmLevel = toUInt16(ctx.settings.number(column::kCpmAlarmLevel)); });

    // A status report is never a reading. A count too large to read leaves the caption as it was.
    if (r.statusReport) {
        if (r.totalCount) step([&] { ctx.form.Label[kTotalCount].caption = decimalText(*r.totalCount); });
        return;
    }

    if (!r.validReading()) {
        ctx.timers.start(timer::kErrorLamp);
        s.cpmAlarmHits = 0;
        s.doseAlarmHits = 0;
        return;
    }
    const double reading = r.reading;

    s.measuring = true;
    readingsArrive(ctx);
    step([&] { s.readingCount = toInt32(static_cast<double>(s.readingCount) + 1); });
    step([&] { s.readingSum = toInt32(static_cast<double>(s.readingSum) + Cpm::roundedHalfEven(reading).count()); });
    ctx.form.Label[kRealtimeCpm].caption = decimalText(reading);
    step([&] {
        // A reading below 0.5 rounds to 0 CPM: with no coefficient known yet that is taken for a device
        // never heard, and the device-not-found handling starts the port search.
        const Cpm cpm = Cpm::roundedHalfEven(readNumber(ctx.form.Label[kRealtimeCpm].caption));
        if (meansNoDevice(ctx.values, cpm)) showDeviceNotFound(ctx);
        ctx.form.Label[kRealtimeDose].caption = doseCaption(ctx.values, ctx.settings, cpm);
    });
    // Without a reading counted (its count could not grow) the minute's CPM stays as it was.
    if (s.readingCount > 0)
        step([&] { s.minuteCpm = Cpm::roundedHalfUp(static_cast<double>(s.readingSum) / s.readingCount).count(); });

    publishReading(ctx);
    writeMetricsFile(ctx);
    evaluateAlarms(ctx, reading, ctx.form.Label[kRealtimeDose].caption);
}

}  // namespace rx47
