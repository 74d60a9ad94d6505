// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/metrics_file.h"

#include <exception>

#include "base/failure.h"
#include "base/log.h"
#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "model/version.h"
#include "monitor/alarms.h"
#include "monitor/mqtt_report.h"
#include "monitor/timer_schedule.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

MetricsFigures currentMetrics(const ReportContext& ctx) {
    const MainForm& f = ctx.form;
    const MonitorState& s = ctx.state;
    MetricsFigures m;
    m.folder = ctx.programFolder.string();
    m.cpm = f.Label[kAverageCpm].caption;
    m.dose = f.Label[kAverageDose].caption;
    m.runningCpm = f.Label[kRunningCpm].caption;
    m.runningDose = f.Label[kRunningDose].caption;
    m.totalCount = f.Label[kTotalCount].caption;
    m.reading = f.Label[kRealtimeCpm].caption;
    m.readingDose = f.Label[kRealtimeDose].caption;
    if (ctx.values.cpmAlarmLevel > 0) m.cpmAlarmLevel = decimalText(ctx.values.cpmAlarmLevel);
    step([&] { m.doseAlarmLevel = decimalText(ctx.settings.number(column::kDoseAlarmLevel)); });
    m.version = kVersionText;
    // Start-up takes the device to be present before anything came from it: it is up once heard,
    // while its port is open, and down from the first minute update that took in nothing from it.
    m.linkUp = s.link == LinkState::Linked && s.deviceHeard && ctx.port.isOpen() && s.quietMinutes == 0;
    if (alarmShown(ctx.timers)) {
        const bool dose = s.shownAlarm == AlarmKind::Dose;
        m.doseAlarm = dose;
        m.cpmAlarm = !dose;
    }
    if (s.enteredMinuteTime >= 0) m.lastMinuteTime = s.enteredMinuteTime;
    return m;
}

void writeMetricsFile(ReportContext ctx) noexcept {
    const std::filesystem::path& file = ctx.reporting.metricsFile;
    if (file.empty()) return;
    try {
        const std::string cause = "metrics:" + file.string();
        try {
            replaceFile(file, metricsText(currentMetrics(ctx)));
            ctx.log.clear(LogCategory::Metrics, cause, "the metrics file " + file.string() + " is written again");
        } catch (const std::exception& e) {
            ctx.log.fail(LogCategory::Metrics, cause, std::string("the metrics file is not written: ") + e.what());
        }
    } catch (...) {
        // Out of memory for the cause or the line above: said in words that need no memory of their
        // own. The next update tries again.
        ctx.log.warn(LogCategory::Metrics, "the metrics file is not written (out of memory)");
    }
}

void publishStateNoexcept(ReportContext ctx) noexcept {
    try {
        publishState(ctx);
    } catch (...) {
        ctx.log.warn(LogCategory::Mqtt, "the state is not published (out of memory)");
    }
}

}  // namespace rx47
