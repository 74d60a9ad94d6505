// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/controls.h"

#include <array>
#include <string_view>
#include <utility>

#include "base/failure.h"
#include "device/protocol.h"
#include "display/scales.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "monitor/link.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

bool isPairIndex(int index) {
    return index == 0 || index == 1;
}

/// The clicked option of a pair is the selected one.
void select(std::array<OptionControl, 2>& pair, int index) {
    pair[0].value = index == 0;
    pair[1].value = index == 1;
}

void clearAlarmHits(MonitorState& s) {
    s.cpmAlarmHits = 0;
    s.doseAlarmHits = 0;
}

/// The controls that talk to the device: usable only while data is received from it.
void enableDeviceControls(MainForm& f, bool enabled) {
    f.cmd[kResetButton].enabled = enabled;
    f.Option2[kBuzzerOnOption].enabled = enabled;
    f.Option2[kBuzzerOffOption].enabled = enabled;
    f.cmd[kSettingsButton].enabled = enabled;
}

/// Sends an operator's command: the intake waits, so the reply is read as a whole later.
void sendOperatorCommand(UiContext ctx, std::string_view text) {
    ctx.timers.stop(timer::kIntake);
    step([&] { sendCommand(ctx.port, text); });
}

/// The reset: the device's total count, the statistics and the graph start again.
void resetStatistics(UiContext ctx) {
    MainForm& f = ctx.form;
    MonitorState& s = ctx.state;
    blinkLamp(ctx, timer::kTxLamp);
    if (ctx.port.isOpen()) sendOperatorCommand(ctx, command::kClearTotal);
    ctx.timers.stop(timer::kAlarmFlash);
    f.Label[kAlarmBanner].visible = false;

    for (int i :
         {kAverageCpm, kMaxCpm, kMinCpm, kRunningCpm, kTotalCount, kRunningDose, kAverageDose, kMaxDose, kMinDose})
        f.Label[i].caption.clear();
    s.minCpm = kNoMinimumCpm;
    s.maxCpm = 0;
    s.minuteCount = 0;
    s.minuteSum = 0;
    s.minuteCpm = 0;
    f.Label[kMaxCpm].foreColour = kBlack;
    f.Label[kMaxDose].foreColour = kBlack;

    for (int i = 0; i < graph::kSlots; ++i) {
        LabelControl& t = f.tgt[i];
        t.visible = false;
        t.caption = "0";
        t.geometry.height = 0;
    }
    for (auto& segment : f.bar) segment.visible = false;
    f.tgt[graph::kPeakBar].visible = false;
    f.tgt[graph::kPeakMarker].visible = false;

    // The next per-minute update enables it again: one reset per minute.
    f.cmd[kResetButton].enabled = false;
}

void paintButtonsWhite(MainForm& f) {
    for (auto& button : f.cmd) button.backColour = kWhite;
}

}  // namespace

void cmd_Click(Context& ctx, int index) {
    if (!isPairIndex(index)) return;
    clearAlarmHits(ctx.state);
    if (index == kSettingsButton) {
        step([&] { ctx.desktop.showSetupDialog(); });
        return;
    }
    if (ctx.state.link != LinkState::Linked) {
        step([&] { reSearch(ctx); });
        keepTimersDue(ctx);  // the re-search forced the update: it asks the first port at the next second
    } else if (alarmShown(ctx)) {
        acknowledgeAlarm(ctx);
    } else {
        resetStatistics(ctx);
    }
}

void Option1_Click(UiContext ctx, int index) {
    if (!isPairIndex(index)) return;
    MainForm& f = ctx.form;
    select(f.Option1, index);
    if (ctx.state.isLoading) return;

    if (index == kStopOption) {
        if (ctx.port.isOpen()) {
            blinkLamp(ctx, timer::kTxLamp);
            sendOperatorCommand(ctx, command::kStop);
            f.Label[kRxLamp].backColour = kLampDarkGreen;
            f.Label[kErrorLamp].backColour = kLampDarkRed;
            f.Label[kTxLamp].backColour = kLampDarkGreen;
            enableDeviceControls(f, false);
        }
        f.caption = kStoppedCaption;
        return;
    }
    if (ctx.port.isOpen()) {
        blinkLamp(ctx, timer::kTxLamp);
        sendOperatorCommand(ctx, command::kGo);
        enableDeviceControls(f, true);
    } else {
        // Nothing to receive from: the search message says so.
        f.Label[kStatusMessage].visible = true;
        enableDeviceControls(f, false);
    }
    f.caption = kNormalCaption;
}

void Option2_Click(UiContext ctx, int index) {
    if (!isPairIndex(index)) return;
    select(ctx.form.Option2, index);
    if (ctx.state.isLoading) return;

    clearAlarmHits(ctx.state);
    const bool on = index == kBuzzerOnOption;
    if (ctx.port.isOpen()) {
        sendOperatorCommand(ctx, on ? command::kBuzzerOn : command::kBuzzerOff);
        step([&] { ctx.settings.writeFlag(column::kBuzzer, on); });
        step([&] { ctx.settings.commit(); });
    }
    // The device keeps the buzzer setting only after "save", which the delay sends.
    ctx.timers.start(timer::kSaveDelay);
}

void Combo1_Pick(UiContext ctx, int index, int entry) {
    if (index < 0 || index >= static_cast<int>(ctx.form.Combo1.size())) return;
    pickEntry(ctx.form.Combo1[index], entry);
    Combo1_Click(ctx, index);
}

void Combo1_Change(UiContext ctx, int index, std::string text) {
    if (index < 0 || index >= static_cast<int>(ctx.form.Combo1.size())) return;
    ComboControl& combo = ctx.form.Combo1[index];
    if (combo.editable) combo.text = std::move(text);
}

void cmd_MouseMove(UiContext ctx, int index) {
    if (!isPairIndex(index) || index == ctx.state.hoverButton) return;
    paintButtonsWhite(ctx.form);
    ctx.form.cmd[index].backColour = kHoverGrey;
    ctx.state.hoverButton = static_cast<std::int16_t>(index);
}

void Form_MouseMove(UiContext ctx) {
    if (ctx.state.hoverButton == kNoHoverButton) return;
    paintButtonsWhite(ctx.form);
    ctx.state.hoverButton = kNoHoverButton;
}

}  // namespace rx47
