// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's option boxes: each click is on disk at once, and the boxes that switch other
// controls (the alarm group, the record-file boxes, the main window's alarm line) do so.
#include <gtest/gtest.h>

#include "setup/setup.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TempProgramFolder;
using test::TestMonitor;

struct SetupCheckBoxes : ::testing::Test {
    TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    explicit SetupCheckBoxes(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied)
        : m(settings) {
        setup::Form_Load(m.ctx, form);
    }
    void click(int box, bool checked) { setup::setCheck(m.ctx, form, box, checked); }
    bool onDiskTrue(const char* column) { return test::StoredSettings(m.folder.path()).isTrue(column); }
};

TEST_F(SetupCheckBoxes, EachBoxWritesItsColumnAndCommitsAtOnce) {
    const char* columns[10] = {"warning",  "flash",   "sound",  "popup",        "tasktray",
                               "warnline", "startup", "record", "masterrecord", "dailyrecord"};
    for (int i = 0; i < 10; ++i) {
        click(i, true);
        EXPECT_TRUE(onDiskTrue(columns[i])) << i;
        click(i, false);
        EXPECT_FALSE(onDiskTrue(columns[i])) << i;
    }
}

TEST_F(SetupCheckBoxes, TheMasterSwitchGovernsTheAlarmGroupAndChangesNoCheck) {
    click(kWarningBox, false);
    EXPECT_FALSE(form.txt[kCpmLevelText].enabled || form.txt[kDoseLevelText].enabled);
    EXPECT_FALSE(form.Label1[kAlarmLineColourSwatch].enabled);
    for (int i : {1, 2, 3, 5}) EXPECT_FALSE(form.Check1[i].enabled) << i;
    for (int i : {2, 8, 1}) EXPECT_EQ(form.Label1[i].foreColour, kGreyText) << i;
    for (int i : {4, 6, 7, 8, 9}) EXPECT_TRUE(form.Check1[i].enabled) << i;
    for (int i : {1, 2, 3, 5}) EXPECT_TRUE(form.Check1[i].value) << i;
    for (const char* column : {"warnline", "flash", "sound", "popup"}) EXPECT_TRUE(onDiskTrue(column)) << column;
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);

    click(kWarningBox, true);
    EXPECT_TRUE(form.txt[kCpmLevelText].enabled && form.Label1[kAlarmLineColourSwatch].enabled);
    for (int i : {1, 2, 3, 5}) EXPECT_TRUE(form.Check1[i].enabled) << i;
    for (int i : {2, 8, 1}) EXPECT_EQ(form.Label1[i].foreColour, kBlack) << i;
}

TEST_F(SetupCheckBoxes, TheAlarmLineBoxShowsTheLineAtOnceWhereItsLevelLies) {
    LineControl& line = m.form.lne[kAlarmLine];
    m.values.cpmAlarmLevel = 40;
    m.values.cpmScaleFactor = 60;
    click(kAlarmLineBox, false);
    EXPECT_FALSE(line.visible);
    click(kAlarmLineBox, true);
    EXPECT_TRUE(line.visible);
    EXPECT_EQ(line.y1, 4200);

    m.values.cpmScaleFactor = 120;
    m.values.cpmAlarmLevel = 300;  // above the graph: shown, it would stand at another level
    click(kAlarmLineBox, false);
    click(kAlarmLineBox, true);
    EXPECT_FALSE(line.visible);
    EXPECT_TRUE(onDiskTrue("warnline"));
}

TEST_F(SetupCheckBoxes, TheRecordBoxSwitchesTheRecordFileBoxesKeepingTheirChecks) {
    click(kRecordBox, false);
    for (int i : {kMasterRecordBox, kDailyRecordBox}) EXPECT_TRUE(form.Check1[i].value && !form.Check1[i].enabled);
    EXPECT_TRUE(onDiskTrue("masterrecord") && onDiskTrue("dailyrecord"));
    click(kRecordBox, true);
    EXPECT_TRUE(form.Check1[kMasterRecordBox].enabled && form.Check1[kDailyRecordBox].enabled);
}

struct SetupCheckBoxesLegacy : SetupCheckBoxes {
    SetupCheckBoxesLegacy() : SetupCheckBoxes(TempProgramFolder::Settings::Legacy) {}
};

TEST_F(SetupCheckBoxesLegacy, EveryClickCommitsEvenWhenTheWriteFailed) {
    m.settings.write("buzzer", std::int64_t{-1});  // pending
    form.Check1[kRecordBox].value = true;
    setup::Check1_Click(m.ctx, form, kRecordBox);  // no such column in this file
    EXPECT_TRUE(onDiskTrue("buzzer"));
    EXPECT_TRUE(form.Check1[kMasterRecordBox].enabled);
}

}  // namespace
}  // namespace rx47
