// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Closing the settings dialog from its close box: the three number boxes are checked and applied.
// The dose level goes into the settings row; the CPM level into memory, onto the main window's
// alarm line and to the device; the gamma coefficient into memory, the settings row and the device.
// A bad value shows its message, selects the box's text and keeps the dialog open.
#include <cstdint>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "device/protocol.h"
#include "display/alarm_line.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "setup/setup.h"
#include "storage/settings_row.h"

namespace rx47::setup {

namespace {

constexpr const char* kDoseLevelMessage = "放射線警報値を確認してください";
constexpr const char* kCpmLevelMessage = "CPM 警報値は 0～65535 の間で設定してください";
constexpr const char* kGammaMessage = "ガンマ線感度係数は 0～65535 の間で設定してください";

/// The largest CPM level or coefficient the device takes.
constexpr double kLargestDeviceValue = 65535;

/// The number a box's text spells ("" and "." are 0); nothing when it is not decimal text or too
/// long a number for a double.
std::optional<double> valueOf(const std::string& text) {
    if (!isDecimalText(text)) return std::nullopt;
    try {
        return readNumber(text);
    } catch (const Failure&) {
        return std::nullopt;
    }
}

/// A box counts as changed when its text differs from the current value's decimal text. A current
/// value that cannot be read counts as changed.
template <class Current>
bool changed(const std::string& text, Current&& current) {
    try {
        return text != decimalText(current());
    } catch (const Failure&) {
        return true;
    }
}

int characterCount(const std::string& utf8) {
    int n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

/// Sends one device command, with the intake held off until the device-save delay restarts it.
void sendToDevice(SetupContext ctx, const std::string& command) {
    if (!ctx.port.isOpen()) return;
    ctx.timers.stop(timer::kIntake);
    step([&] { sendCommand(ctx.port, command); });
}

}  // namespace

bool isDecimalText(std::string_view text) {
    int points = 0;
    for (char c : text) {
        if (c == '.') {
            if (++points > 1) return false;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool Form_QueryUnload(SetupContext ctx, SetupForm& form, int reason) {
    if (reason != kCloseFromControlMenu) return false;
    SettingsRow& s = ctx.settings;
    ProgramValues& v = ctx.values;
    bool deviceChanged = false;

    // The steps done before a rejection stay done. A value already sent to the device is saved
    // there as after a close, so the device does not lose it when it is switched off.
    const auto reject = [&](int box, const char* message) {
        if (deviceChanged) ctx.timers.start(timer::kSaveDelay);
        step([&] { ctx.desktop.showMessage(message); });
        TextBoxControl& t = form.txt[box];
        t.selStart = 0;
        t.selLength = characterCount(t.text);
        form.focusedText = box;
        ++form.focusMoves;
        return true;
    };

    const std::string& dose = form.txt[kDoseLevelText].text;
    if (changed(dose, [&] { return s.number(column::kDoseAlarmLevel); })) {
        const auto level = valueOf(dose);
        if (!level) return reject(kDoseLevelText, kDoseLevelMessage);
        step([&] { s.write(column::kDoseAlarmLevel, *level); });
        step([&] { s.commit(); });
    }

    const std::string& cpm = form.txt[kCpmLevelText].text;
    if (changed(cpm, [&] { return v.cpmAlarmLevel; })) {
        const auto level = valueOf(cpm);
        if (!level || *level > kLargestDeviceValue) return reject(kCpmLevelText, kCpmLevelMessage);
        deviceChanged = true;
        step([&] { v.cpmAlarmLevel = toUInt16(*level); });
        step([&] { updateCpmAlarmLine(ctx, AlarmLineChange::LevelEntered); });
        sendToDevice(ctx, command::setAlarmLevel(v.cpmAlarmLevel));
    }

    const std::string& gamma = form.txt[kGammaText].text;
    if (changed(gamma, [&] { return v.gammaCoefficient; })) {
        const auto coefficient = valueOf(gamma);
        if (!coefficient || *coefficient > kLargestDeviceValue) return reject(kGammaText, kGammaMessage);
        deviceChanged = true;
        step([&] { v.gammaCoefficient = toUInt16(*coefficient); });
        step([&] { s.write(column::kGammaCoefficient, std::int64_t{v.gammaCoefficient}); });
        step([&] { s.commit(); });
        sendToDevice(ctx, command::setGammaCoefficient(v.gammaCoefficient));
    }

    if (deviceChanged) ctx.timers.start(timer::kSaveDelay);
    return false;
}

}  // namespace rx47::setup
