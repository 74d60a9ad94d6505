// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's load: the supplied settings, alarms and recording switched off, a settings
// file of an older version.
#include <gtest/gtest.h>

#include <fstream>

#include "setup/setup.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TempProgramFolder;
using test::TestMonitor;

struct SetupLoad : ::testing::Test {
    TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    explicit SetupLoad(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied) : m(settings) {
        m.values.versionText = "1.2";
        m.values.cpmAlarmLevel = 100;
        m.values.gammaCoefficient = 40000;
    }
    void load() { setup::Form_Load(m.ctx, form); }
};

TEST_F(SetupLoad, TheSuppliedSettingsFillTheDialogAndAreCommitted) {
    m.setSetting("warnLineLevel", 0.3);
    m.settings.write("buzzer", std::int64_t{-1});  // pending: the boxes the load checks commit it
    load();
    EXPECT_EQ(form.caption, " RX47 monitor  version 1.2");
    const bool checked[10] = {true, true, true, true, false, true, false, true, true, true};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(form.Check1[i].value, checked[i]) << i;
        EXPECT_TRUE(form.Check1[i].enabled && form.Check1[i].visible) << i;
    }
    EXPECT_EQ(form.txt[kCpmLevelText].text, "100");
    EXPECT_EQ(form.txt[kDoseLevelText].text, "0.3");
    EXPECT_EQ(form.txt[kGammaText].text, "40000");
    EXPECT_EQ(form.Label1[kAlarmLineColourSwatch].backColour, 0x0000FFu);
    EXPECT_EQ(form.Label1[kBarColourSwatch].backColour, 0xC08000u);
    EXPECT_EQ(form.Label1[kDoseColourSwatch].backColour, 0x0080FFu);
    EXPECT_FALSE(form.Label1[kNoteLine1].visible);
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);
    EXPECT_FALSE(form.cmd.enabled);  // no RX47.wav in the program folder
    EXPECT_TRUE(test::StoredSettings(m.folder.path()).isTrue("buzzer"));
}

TEST_F(SetupLoad, AlarmsAndRecordingOffDisableTheirControlsOnly) {
    std::ofstream(m.folder.path() / "RX47.wav") << "RIFF";
    m.setSetting("warning", std::int64_t{0});
    m.setSetting("record", std::int64_t{0});
    load();
    EXPECT_FALSE(form.txt[kCpmLevelText].enabled);
    EXPECT_FALSE(form.txt[kDoseLevelText].enabled);
    EXPECT_FALSE(form.Label1[kAlarmLineColourSwatch].enabled);
    for (int i : {1, 2, 3, 5}) EXPECT_FALSE(form.Check1[i].enabled) << i;
    for (int i : {2, 8, 1}) EXPECT_EQ(form.Label1[i].foreColour, kGreyText) << i;
    // The alarm-line box is checked though disabled, and the main window's line is shown.
    EXPECT_TRUE(form.Check1[kAlarmLineBox].value);
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);
    // The record-file boxes keep their checks.
    for (int i : {kMasterRecordBox, kDailyRecordBox}) EXPECT_TRUE(form.Check1[i].value && !form.Check1[i].enabled);
    // Not governed by either.
    EXPECT_TRUE(form.cmd.enabled);
    EXPECT_TRUE(form.txt[kGammaText].enabled);
    EXPECT_TRUE(form.Label1[kBarColourSwatch].enabled && form.Label1[kDoseColourSwatch].enabled);
    for (int i : {4, 6, 7}) EXPECT_TRUE(form.Check1[i].enabled) << i;
}

TEST_F(SetupLoad, AFailingStepShowsTheOldFileNoteAndTheLoadGoesOn) {
    m.setSetting("warnLineLevel", std::monostate{});
    load();
    EXPECT_TRUE(form.Label1[kNoteLine1].visible);
    EXPECT_TRUE(form.Check1[kAlarmLineBox].value);
    EXPECT_EQ(form.txt[kGammaText].text, "40000");
}

struct SetupLoadLegacy : SetupLoad {
    SetupLoadLegacy() : SetupLoad(TempProgramFolder::Settings::Legacy) {}
};

TEST_F(SetupLoadLegacy, AnOldSettingsFileShowsTheNoteCentredInPlaceOfTheRecordingBoxes) {
    load();
    for (int i : {kRecordBox, kMasterRecordBox, kDailyRecordBox}) EXPECT_FALSE(form.Check1[i].visible) << i;
    const Geometry& frame = form.Shape1[1].geometry;
    for (int i : {kNoteLine1, kNoteLine2}) {
        const LabelControl& note = form.Label1[i];
        EXPECT_TRUE(note.visible);
        EXPECT_EQ(note.foreColour, 0x0000C0u);
        EXPECT_EQ(note.geometry.left, (form.outerWidth - form.Label1[kNoteLine1].geometry.width) / 2);
        EXPECT_GE(note.geometry.left, frame.left);
        EXPECT_LE(note.geometry.left + note.geometry.width, frame.left + frame.width);
        EXPECT_GE(note.geometry.top, frame.top);
        EXPECT_LE(note.geometry.top + note.geometry.height, frame.top + frame.height);
    }
    for (int i : {0, 1, 2, 3, 5}) EXPECT_TRUE(form.Check1[i].value) << i;
    EXPECT_EQ(form.txt[kDoseLevelText].text, "0.5");
    EXPECT_EQ(form.Label1[kDoseColourSwatch].backColour, 0x0080FFu);
}

}  // namespace
}  // namespace rx47
