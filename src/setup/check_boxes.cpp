// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's option boxes: each mirrors one yes/no column of the settings row, written
// and committed at the click. The alarm box switches the alarm group, the alarm-line box the main
// window's CPM alarm line, the record box the two record-file boxes.
#include <array>

#include "base/failure.h"
#include "display/alarm_line.h"
#include "model/context.h"
#include "model/main_form.h"
#include "setup/setup.h"
#include "storage/settings_row.h"

namespace rx47::setup {

namespace {

/// The column of each box, in the boxes' order.
constexpr std::array<FlagColumn, 10> kColumns = {
    column::kAlarms,    column::kFlash,          column::kSound,  column::kPopup,        column::kTaskTray,
    column::kAlarmLine, column::kStartMinimised, column::kRecord, column::kMasterRecord, column::kDailyRecord};

}  // namespace

FlagColumn boxColumn(int index) {
    return kColumns.at(static_cast<std::size_t>(index));
}

void applyAlarmGroup(SetupForm& f, bool on) {
    // The controls the alarm master switch governs, in this order.
    const Colour text = on ? kBlack : kGreyText;
    step([&] { f.txt[kCpmLevelText].enabled = on; });
    step([&] { f.Label1[kCpmLevelCaption].foreColour = text; });
    step([&] { f.txt[kDoseLevelText].enabled = on; });
    step([&] { f.Label1[kDoseLevelCaption].foreColour = text; });
    step([&] { f.Check1[kAlarmLineBox].enabled = on; });
    step([&] { f.Label1[kAlarmLineColourSwatch].enabled = on; });
    step([&] { f.Label1[kAlarmActionsCaption].foreColour = text; });
    for (int i : {kFlashBox, kSoundBox, kPopupBox}) step([&] { f.Check1[i].enabled = on; });
}

void setCheck(SetupContext ctx, SetupForm& form, int index, bool checked) {
    if (index < 0 || index >= static_cast<int>(form.Check1.size())) return;
    if (form.Check1[index].value == checked) return;
    form.Check1[index].value = checked;
    Check1_Click(ctx, form, index);
}

void Check1_Click(SetupContext ctx, SetupForm& form, int index) {
    if (index >= 0 && index < static_cast<int>(kColumns.size())) {
        const bool on = form.Check1[index].value;
        // A failed write leaves the column as it was; the box still shows the new state.
        step([&] { ctx.settings.writeFlag(boxColumn(index), on); });
        switch (index) {
            case kWarningBox:
                applyAlarmGroup(form, on);
                break;
            case kAlarmLineBox:
                step([&] { updateCpmAlarmLine(ctx, on ? AlarmLineChange::BoxChecked : AlarmLineChange::BoxCleared); });
                break;
            case kRecordBox:
                step([&] { form.Check1[kMasterRecordBox].enabled = on; });
                step([&] { form.Check1[kDailyRecordBox].enabled = on; });
                break;
            default:
                break;
        }
    }
    step([&] { ctx.settings.commit(); });
}

}  // namespace rx47::setup
