// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/minute_update.h"

#include <cmath>
#include <utility>

#include "base/failure.h"
#include "base/local_time.h"
#include "base/number.h"
#include "device/protocol.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/dose.h"
#include "monitor/event_command.h"
#include "monitor/intake.h"
#include "monitor/link.h"
#include "monitor/metrics_file.h"
#include "monitor/notices.h"
#include "monitor/timer_schedule.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/records.h"
#include "storage/settings_row.h"

namespace rx47 {

std::int64_t minuteKey(const LocalDateTime& t) {
    return ((((std::int64_t{t.year} * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60) + t.minute;
}

void writeMeasurementRecord(Context& ctx) {
    // The captions each field of a record line takes, in field order.
    static constexpr std::pair<RecordField, int> kRecorded[] = {
        {kTotalCountField, kTotalCount}, {kRunningCpmField, kRunningCpm},   {kRunningDoseField, kRunningDose},
        {kAverageCpmField, kAverageCpm}, {kAverageDoseField, kAverageDose}, {kMaxCpmField, kMaxCpm},
        {kMaxDoseField, kMaxDose},       {kMinCpmField, kMinCpm},           {kMinDoseField, kMinDose}};
    SettingsRow& settings = ctx.settings;
    if (settings.isFalse(column::kRecord)) return;
    RecordLine line{ctx.clock.now(), {}};
    for (const auto& [field, label] : kRecorded) line[field] = ctx.form.Label[label].caption;
    if (settings.isTrue(column::kMasterRecord))
        appendRecordLine(ctx.programFolder, ctx.state.monthFolder, line, {.master = true});
    if (settings.isTrue(column::kDailyRecord))
        appendRecordLine(ctx.programFolder, ctx.state.monthFolder, line, {.daily = true});
}

namespace {

/// The device's part of the update: ask for a report, and notice a device that is not heard. It is
/// not heard when the port closed under us (an unplugged adapter), when minute after minute brings
/// nothing from an open port (a hung device, a cable pulled on the device's side), or when nothing
/// at all has come since start-up (no coefficient known yet, no count, and no data ever arrived: data
/// that arrived is the device, even before its intake has read the coefficient).
void deviceWork(Context& ctx, bool newMinute) {
    MonitorState& s = ctx.state;
    MainForm& f = ctx.form;
    if (!f.cmd[kResetButton].enabled) f.cmd[kResetButton].enabled = true;
    if (ctx.port.isOpen()) {
        blinkLamp(ctx, timer::kTxLamp);
        step([&] { sendCommand(ctx.port, command::kShow); });
    }
    if (newMinute) {
        s.quietMinutes = s.heardThisMinute ? 0 : s.quietMinutes + 1;
        s.heardThisMinute = false;
    }
    const bool linked = s.link == LinkState::Linked;
    if (linked && !ctx.port.isOpen()) {
        deviceLost(ctx, "its port closed");
    } else if (linked && s.quietMinutes >= kQuietMinutesForLoss) {
        deviceLost(ctx, "it sent nothing for two minutes");
    } else if (!linked) {
        // A search that gave up starts again each minute, over the ports as they are now, until the
        // counter answers; between the rounds (and during them) the window asks to check the counter.
        if (newMinute && searchExhausted(ctx))
            searchAgainQuietly(ctx);
        else
            showDeviceNotFound(ctx);
    } else if (!s.deviceHeard && ctx.values.gammaCoefficient == 0 && s.minuteCpm == 0) {
        showDeviceNotFound(ctx);
    }
}

/// A counter that answers but sends no readings (stopped on its own, as after a power cycle, or a
/// "go" lost with an unplugged cable) is asked once to send them, and told of, at the second minute
/// update in a row without a reading. Its minutes are not entered until a reading comes.
void watchReadings(Context& ctx, bool newMinute, bool readingsThisMinute) {
    MonitorState& s = ctx.state;
    if (s.link != LinkState::Linked) {
        s.readinglessMinutes = 0;
        readingsNoticeOff(ctx);  // the search tells of it now
        return;
    }
    if (!newMinute) return;
    if (readingsThisMinute) {
        s.readinglessMinutes = 0;
        return;
    }
    if (s.quietMinutes > 0) return;  // nothing at all came: the rule for a silent counter is in charge
    if (s.readinglessMinutes >= kQuietMinutesForLoss) return;  // asked once already
    if (++s.readinglessMinutes < kQuietMinutesForLoss) return;
    if (ctx.port.isOpen()) {
        blinkLamp(ctx, timer::kTxLamp);
        ctx.timers.stop(timer::kIntake);
        step([&] { sendCommand(ctx.port, command::kGo); });
    }
    readingsMissing(ctx);
}

}  // namespace

void minuteUpdate(Context& ctx) {
    MonitorState& s = ctx.state;
    MainForm& f = ctx.form;

    const LocalDateTime now = ctx.clock.now();
    if (now.minute == s.lastMinute) return;
    // After start, a port advance or a regained link (lastMinute 0) the buffer may hold the answer
    // that proves the device is there: keep it.
    const bool clearBuffer = s.lastMinute != 0;
    // Done before the intake below, which may raise an alarm whose sound serves events: a nested
    // tick must find this minute's update under way.
    s.lastMinute = now.minute;
    // However it ends, the update leaves the metrics file showing the figures, the link and the alarm.
    const MetricsAtEnd metrics(ctx);
    if (clearBuffer) {
        // A reading waiting for its intake belongs to the closing minute: take it in before the buffer
        // is emptied for the answer to "show".
        if (ctx.timers.isRunning(timer::kIntake) && !savePending(ctx)) step([&] { intakeTick(ctx); });
        step([&] { ctx.port.clearInput(); });
    }

    // Updates forced within a clock minute (a port advance, a re-search, a regained link) do the
    // device's part only: the graph moves on, and a minute is entered, once per clock minute.
    const std::int64_t key = minuteKey(now);
    const bool newMinute = key != s.scrolledMinute;
    if (newMinute) {
        s.scrolledMinute = key;
        relabelTimeAxis(ctx);
        scrollBars(ctx);
        drawDoseSegments(ctx);
    }
    const bool stopped = f.Option1[kStopOption].value;
    if (stopped && newMinute) clearNewestBar(ctx);
    hideBrokenSegments(ctx);
    // While the data link is stopped the graph keeps scrolling and the statistics stand still.
    if (stopped) {
        s.quietMinutes = 0;
        s.heardThisMinute = false;
        s.readinglessMinutes = 0;
        readingsNoticeOff(ctx);
        return;
    }

    // Only a measured minute is entered: one with readings, or one without while the device counts as
    // present and sends readings (it repeats the last value). Nothing is recorded before the first
    // reading since start-up or since the device was lost, nothing while it is lost, and nothing while
    // it answers without sending readings.
    const bool measured = s.measuring;
    const bool readingsThisMinute = s.readingCount > 0;
    deviceWork(ctx, newMinute);
    watchReadings(ctx, newMinute, readingsThisMinute);
    const bool sendsReadings = s.readinglessMinutes < kQuietMinutesForLoss;
    const bool enter =
        key != s.enteredMinute && measured && (readingsThisMinute || (s.link == LinkState::Linked && sendsReadings));
    if (!enter) {
        if (newMinute) {
            clearNewestBar(ctx);
            hideBrokenSegments(ctx);
        }
        return;
    }
    s.enteredMinute = key;
    s.enteredMinuteTime = localSeconds(now.year, now.month, now.day, now.hour, now.minute, now.second).value_or(-1);

    const std::int32_t cpm = s.minuteCpm;
    step([&] { setNewestBar(ctx, cpm); });

    // A minute of 0 CPM with no coefficient known yet means nothing has been heard: every dose caption
    // that shows it runs the device-not-found handling, which starts the port search.
    const auto doseOf = [&](std::int32_t count) {
        if (meansNoDevice(ctx.values, Cpm(count))) showDeviceNotFound(ctx);
        return doseCaption(ctx.values, ctx.settings, Cpm(count));
    };
    f.Label[kAverageCpm].caption = decimalText(cpm);
    f.Label[kAverageDose].caption = doseOf(cpm);

    if (cpm >= s.maxCpm) {
        f.Label[kMaxCpm].caption = decimalText(cpm);
        f.Label[kMaxDose].caption = doseOf(cpm);
        s.maxCpm = cpm;
        step([&] { movePeakMarkers(ctx, cpm); });
    }
    if (cpm <= s.minCpm) {
        f.Label[kMinCpm].caption = decimalText(cpm);
        f.Label[kMinDose].caption = doseOf(cpm);
        s.minCpm = cpm;
    }

    step([&] { s.minuteSum = toInt32(static_cast<double>(s.minuteSum) + cpm); });
    step([&] { s.minuteCount = toInt32(static_cast<double>(s.minuteCount) + 1); });
    // Without a minute counted (its count could not grow) there is no average to show.
    if (s.minuteCount > 0)
        step([&] {
            const double average = std::floor(static_cast<double>(s.minuteSum) / s.minuteCount + 0.5);
            f.Label[kRunningCpm].caption = decimalText(average);
            f.Label[kRunningDose].caption = doseOf(toInt32(average));
        });

    s.readingCount = 0;
    s.readingSum = 0;

    try {
        writeMeasurementRecord(ctx);
        recordsWritten(ctx);
    } catch (const FileError& e) {
        recordsFailed(ctx, e.what(), true);
    } catch (const Failure& e) {
        recordsFailed(ctx, e.what(), false);  // the next minute tries again
    }
    step([&] { reportEvent(ctx, EventKind::Minute); });
}

}  // namespace rx47
