// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's design and its load, with the small sound-test button.
#include <string>

#include "base/failure.h"
#include "base/number.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "monitor/alarm_sound.h"
#include "setup/setup.h"
#include "storage/program_folder.h"
#include "storage/settings_row.h"

namespace rx47::setup {

namespace {

CheckBoxControl checkBox(const char* caption, Geometry g) {
    CheckBoxControl c;
    c.caption = caption;
    c.geometry = g;
    return c;
}

LabelControl label(const char* caption, Geometry g) {
    LabelControl l;
    l.caption = caption;
    l.geometry = g;
    l.transparent = true;
    return l;
}

LabelControl swatch(Geometry g) {
    LabelControl l;
    l.backColour = kBlack;
    l.geometry = g;
    return l;
}

/// A settings file of an older version has no recording columns: the note about it stands centred
/// in the recording block instead of the three recording boxes. The same result however often it runs.
void showOldFileNote(SetupForm& f) {
    for (int i : {kRecordBox, kMasterRecordBox, kDailyRecordBox}) f.Check1[i].visible = false;
    LabelControl& first = f.Label1[kNoteLine1];
    LabelControl& second = f.Label1[kNoteLine2];
    first.visible = true;
    second.visible = true;
    first.geometry.left = (f.outerWidth - first.geometry.width) / 2;
    second.geometry.left = first.geometry.left;
}

}  // namespace

SetupForm makeSetupForm() {
    SetupForm f;
    // The alarm block.
    f.Shape1[kAlarmFrame].geometry = {120, 120, 5670, 2640};
    f.Check1[kWarningBox] = checkBox("CPM/線量警報レベルを設定する", {240, 240, 3600, 255});
    f.txt[kCpmLevelText].geometry = {480, 600, 735, 285};
    // The texts beside the boxes are centred on them, with room for a font with a tall line.
    f.Label1[kCpmLevelCaption] = label("CPM または", {1275, 630, 1000, 240});
    f.txt[kDoseLevelText].geometry = {2280, 600, 735, 285};
    f.Label1[kDoseLevelCaption] = label("μSv/h を超えた場合に警報", {3075, 630, 2520, 240});
    f.Check1[kAlarmLineBox] = checkBox("CPM警報レベル線を表示", {240, 1020, 2520, 255});
    f.Label1[kAlarmLineColourSwatch] = swatch({2880, 1035, 495, 225});
    f.Label1[kAlarmLineColourSwatch].toolTip = " レベル線の色 ";
    f.Label1[kAlarmActionsCaption] = label("警報レベルを超えた場合の動作", {240, 1410, 3600, 210});
    f.Check1[kFlashBox] = checkBox("棒グラフを点滅", {480, 1680, 2400, 255});
    f.Check1[kSoundBox] = checkBox("サウンドを再生", {480, 1995, 1800, 255});
    f.cmd.toolTip = " サウンドテスト ";
    f.cmd.backColour = kButtonFace;
    f.cmd.geometry = {2340, 1965, 330, 315};
    f.Check1[kPopupBox] = checkBox("最小化時にポップアップ", {480, 2340, 2400, 255});

    // The recording block.
    f.Shape1[kRecordFrame].geometry = {120, 2880, 5670, 840};
    f.Check1[kRecordBox] = checkBox("測定結果を保存する", {240, 3180, 2400, 255});
    f.Check1[kMasterRecordBox] = checkBox("マスター レコードを保存", {2880, 3015, 2760, 255});
    f.Check1[kDailyRecordBox] = checkBox("デイリー レコードを保存", {2880, 3345, 2760, 255});
    f.Label1[kNoteLine1] = label("測定結果を保存する機能を利用するためには", {900, 3075, 4200, 210});
    f.Label1[kNoteLine2] = label("RX47.dat も最新のものに置き換えてください", {900, 3375, 4200, 210});
    for (int i : {kNoteLine1, kNoteLine2}) {
        f.Label1[i].visible = false;
        f.Label1[i].foreColour = kNoteRed;
        f.Label1[i].align = Align::Centre;
    }

    // Below the frames. The colour texts leave room for a font with full-width kana.
    f.Label1[kBarColourCaption] = label("棒グラフの色", {240, 3960, 1275, 210});
    f.Label1[kBarColourSwatch] = swatch({1560, 3945, 495, 225});
    f.Label1[kGammaCaption] = label("ガンマ線感度係数", {2880, 3960, 1500, 210});
    f.txt[kGammaText].geometry = {4440, 3900, 735, 285};
    f.Label1[kDoseColourCaption] = label("線量グラフの色", {240, 4380, 1275, 210});
    f.Label1[kDoseColourSwatch] = swatch({1560, 4365, 495, 225});
    f.Check1[kStartMinimisedBox] = checkBox("起動時に最小化する", {240, 4920, 2520, 255});
    f.Check1[kTrayBox] = checkBox("最小化時にタクストレイに格納", {2880, 4920, 2910, 255});
    return f;
}

void Form_Load(SetupContext ctx, SetupForm& f) {
    SettingsRow& s = ctx.settings;
    // Each step stands alone; a failing one brings up the note about an old settings file.
    const auto load = [&](auto&& statement) {
        if (!step(statement)) showOldFileNote(f);
    };
    // "If the box's column is true, check the box": reading the column is part of the step.
    const auto checkIfSet = [&](int box) {
        load([&] {
            if (s.isTrue(boxColumn(box))) setCheck(ctx, f, box, true);
        });
    };
    const auto colourOf = [&](int swatch) { return static_cast<Colour>(s.int32(colourColumn(swatchColour(swatch)))); };

    load([&] { f.caption = " RX47 monitor  version " + ctx.values.versionText; });
    load([&] { f.soundTestHover = false; });
    load([&] {
        if (s.isTrue(boxColumn(kWarningBox)))
            setCheck(ctx, f, kWarningBox, true);
        else
            applyAlarmGroup(f, false);
    });
    load([&] { f.txt[kCpmLevelText].text = decimalText(ctx.values.cpmAlarmLevel); });
    load([&] { f.txt[kDoseLevelText].text = s.text(column::kDoseAlarmLevel); });
    checkIfSet(kAlarmLineBox);
    load([&] { f.Label1[kAlarmLineColourSwatch].backColour = colourOf(kAlarmLineColourSwatch); });
    checkIfSet(kFlashBox);
    checkIfSet(kSoundBox);
    load([&] {
        if (!fileExists(ctx.programFolder / kAlarmSoundFile)) f.cmd.enabled = false;
    });
    checkIfSet(kPopupBox);
    checkIfSet(kStartMinimisedBox);
    checkIfSet(kTrayBox);
    load([&] { f.Label1[kBarColourSwatch].backColour = colourOf(kBarColourSwatch); });
    load([&] { f.Label1[kDoseColourSwatch].backColour = colourOf(kDoseColourSwatch); });
    load([&] { f.txt[kGammaText].text = decimalText(ctx.values.gammaCoefficient); });
    checkIfSet(kMasterRecordBox);
    checkIfSet(kDailyRecordBox);
    load([&] {
        if (s.isTrue(boxColumn(kRecordBox))) {
            setCheck(ctx, f, kRecordBox, true);
        } else {
            // Switched off, the record-file boxes keep their checks.
            f.Check1[kMasterRecordBox].enabled = false;
            f.Check1[kDailyRecordBox].enabled = false;
        }
    });
}

void txt_Change(SetupForm& form, int index, std::string text) {
    if (index < 0 || index >= static_cast<int>(form.txt.size())) return;
    form.txt[index].text = std::move(text);
}

void cmd_Click(SoundContext ctx, SetupForm&) {
    // Plays whether or not the sound is switched on for alarms; the dialog stays live meanwhile.
    step([&] { playAlarmSound(ctx); });
}

void cmd_MouseMove(SetupForm& form) {
    if (form.soundTestHover) return;
    form.cmd.backColour = kSoundTestHover;
    form.soundTestHover = true;
}

void Form_MouseMove(SetupForm& form) {
    if (!form.soundTestHover) return;
    form.cmd.backColour = kButtonFace;
    form.soundTestHover = false;
}

}  // namespace rx47::setup
