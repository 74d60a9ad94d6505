// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog over the monitor core and a real settings file. Its load: the supplied settings,
// alarms and recording switched off, a settings file of an older version. Its option boxes: each click
// is on disk at once, and the boxes that switch other controls (the alarm group, the record-file boxes,
// the main window's alarm line) do so. Its colour swatches: a picked colour lands on the swatch, in the
// settings file and on exactly the elements of the main window that start-up colours with that
// setting. Its close: the three number boxes are checked in order, rejected with their messages or
// applied to the settings, the main window's alarm line and the device, with the device-save delay
// after the commands.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "monitor/timer_schedule.h"
#include "setup/setup.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

using test::TempProgramFolder;
using Texts = std::vector<std::string>;
const std::string kDoseMessage = "放射線警報値を確認してください";
const std::string kCpmMessage = "CPM 警報値は 0～65535 の間で設定してください";
const std::string kGammaMessage = "ガンマ線感度係数は 0～65535 の間で設定してください";

constexpr Colour kPicked = rgb(0x12, 0x34, 0x56);

/// Every colour property of the main window that holds `c`, by name ("tgt(81).back").
std::set<std::string> holding(const MainForm& f, Colour c) {
    std::set<std::string> names;
    const auto add = [&](Colour held, const std::string& array, std::size_t i, const char* property) {
        if (held == c) names.insert(array + "(" + std::to_string(i) + ")" + property);
    };
    const auto labels = [&](const std::string& array, const auto& controls) {
        for (std::size_t i = 0; i < controls.size(); ++i) {
            add(controls[i].backColour, array, i, ".back");
            add(controls[i].foreColour, array, i, ".fore");
        }
    };
    labels("Label", f.Label);
    labels("tgt", f.tgt);
    labels("lbl", f.lbl);
    labels("tme", f.tme);
    for (std::size_t i = 0; i < f.lne.size(); ++i) add(f.lne[i].colour, "lne", i, "");
    for (std::size_t i = 0; i < f.bar.size(); ++i) add(f.bar[i].colour, "bar", i, "");
    for (std::size_t i = 0; i < f.Shape1.size(); ++i) {
        add(f.Shape1[i].backColour, "Shape1", i, ".back");
        add(f.Shape1[i].borderColour, "Shape1", i, ".border");
    }
    for (std::size_t i = 0; i < f.cmd.size(); ++i) add(f.cmd[i].backColour, "cmd", i, ".back");
    for (std::size_t i = 0; i < f.Frame.size(); ++i) add(f.Frame[i].backColour, "Frame", i, ".back");
    add(f.notice.foreColour, "notice", 0, ".fore");
    add(f.backColour, "form", 0, ".back");
    return names;
}

/// The dialog's form over the monitor core, with a settings file of the given kind.
struct SetupRig : ::testing::Test {
    test::TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    explicit SetupRig(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied) : m(settings) {}
    void load() { setup::Form_Load(m.ctx, form); }
    test::StoredSettings onDisk() { return test::StoredSettings(m.folder.path()); }
    /// The alarm group as the master switch leaves it: its boxes, level texts and line swatch enabled
    /// or not, their captions black or grey.
    void expectAlarmGroup(bool enabled) {
        EXPECT_EQ(std::tie(form.txt[kCpmLevelText].enabled, form.txt[kDoseLevelText].enabled,
                           form.Label1[kAlarmLineColourSwatch].enabled),
                  std::tuple(enabled, enabled, enabled));
        for (int i : {1, 2, 3, 5}) EXPECT_EQ(form.Check1[i].enabled, enabled) << i;
        for (int i : {2, 8, 1}) EXPECT_EQ(form.Label1[i].foreColour, enabled ? kBlack : kGreyText) << i;
    }
};

struct SetupLoad : SetupRig {
    explicit SetupLoad(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied)
        : SetupRig(settings) {
        m.values.versionText = "1.2";
        m.values.cpmAlarmLevel = 100;
        m.values.gammaCoefficient = 40000;
    }
};
struct SetupLoadLegacy : SetupLoad {
    SetupLoadLegacy() : SetupLoad(TempProgramFolder::Settings::Legacy) {}
};

struct SetupCheckBoxes : SetupRig {
    explicit SetupCheckBoxes(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied)
        : SetupRig(settings) {
        load();
    }
    void click(int box, bool checked) { setup::setCheck(m.ctx, form, box, checked); }
};
struct SetupCheckBoxesLegacy : SetupCheckBoxes {
    SetupCheckBoxesLegacy() : SetupCheckBoxes(TempProgramFolder::Settings::Legacy) {}
};

struct SetupSwatches : SetupRig {
    SetupSwatches() {
        load();
        m.desktop.pickedColour = kPicked;
    }
};

struct SetupValidation : SetupRig {
    SetupValidation() {
        m.plugIn();
        m.values.cpmAlarmLevel = 100;
        m.values.gammaCoefficient = 120;
        m.values.cpmScaleFactor = 60;
        load();
        m.timers.start(timer::kIntake);  // data has arrived
    }
    void type(int box, const std::string& text) { setup::txt_Change(form, box, text); }
    /// A close from the close box; true when the dialog stays open.
    bool close() { return setup::Form_QueryUnload(m.ctx, form, setup::kCloseFromControlMenu); }
    bool closeWith(int box, const std::string& text) {
        type(box, text);
        return close();
    }
    bool saveDelayRuns() { return m.timers.isRunning(timer::kSaveDelay); }
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
    EXPECT_EQ(std::tie(form.txt[kCpmLevelText].text, form.txt[kDoseLevelText].text, form.txt[kGammaText].text),
              std::tuple("100", "0.3", "40000"));
    EXPECT_EQ(std::tie(form.Label1[kAlarmLineColourSwatch].backColour, form.Label1[kBarColourSwatch].backColour,
                       form.Label1[kDoseColourSwatch].backColour),
              std::tuple(0x0000FFu, 0xC08000u, 0x0080FFu));
    EXPECT_FALSE(form.Label1[kNoteLine1].visible);
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);
    EXPECT_FALSE(form.cmd.enabled);  // no RX47.wav in the program folder
    EXPECT_TRUE(onDisk().isTrue("buzzer"));
}

TEST_F(SetupLoad, AlarmsAndRecordingOffDisableTheirControlsOnly) {
    test::writeBytes(m.folder.path() / "RX47.wav", "RIFF");
    m.setSetting("warning", std::int64_t{0});
    m.setSetting("record", std::int64_t{0});
    load();
    expectAlarmGroup(false);
    // The alarm-line box is checked though disabled, and the main window's line is shown.
    EXPECT_TRUE(form.Check1[kAlarmLineBox].value);
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);
    // The record-file boxes keep their checks.
    for (int i : {kMasterRecordBox, kDailyRecordBox}) EXPECT_TRUE(form.Check1[i].value && !form.Check1[i].enabled);
    // Not governed by either.
    EXPECT_TRUE(form.cmd.enabled && form.txt[kGammaText].enabled);
    EXPECT_TRUE(form.Label1[kBarColourSwatch].enabled && form.Label1[kDoseColourSwatch].enabled);
    for (int i : {4, 6, 7}) EXPECT_TRUE(form.Check1[i].enabled) << i;
}

TEST_F(SetupLoad, AFailingStepShowsTheOldFileNoteAndTheLoadGoesOn) {
    m.setSetting("warnLineLevel", std::monostate{});
    load();
    EXPECT_EQ(std::tie(form.Label1[kNoteLine1].visible, form.Check1[kAlarmLineBox].value, form.txt[kGammaText].text),
              std::tuple(true, true, "40000"));
}

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
    EXPECT_EQ(std::tie(form.txt[kDoseLevelText].text, form.Label1[kDoseColourSwatch].backColour),
              std::tuple("0.5", 0x0080FFu));
}

TEST_F(SetupCheckBoxes, EachBoxWritesItsColumnAndCommitsAtOnce) {
    const char* columns[10] = {"warning",  "flash",   "sound",  "popup",        "tasktray",
                               "warnline", "startup", "record", "masterrecord", "dailyrecord"};
    for (int i = 0; i < 10; ++i) {
        click(i, true);
        EXPECT_TRUE(onDisk().isTrue(columns[i])) << i;
        click(i, false);
        EXPECT_FALSE(onDisk().isTrue(columns[i])) << i;
    }
}

TEST_F(SetupCheckBoxes, TheMasterSwitchGovernsTheAlarmGroupAndChangesNoCheck) {
    click(kWarningBox, false);
    expectAlarmGroup(false);
    for (int i : {4, 6, 7, 8, 9}) EXPECT_TRUE(form.Check1[i].enabled) << i;
    for (int i : {1, 2, 3, 5}) EXPECT_TRUE(form.Check1[i].value) << i;
    for (const char* column : {"warnline", "flash", "sound", "popup"}) EXPECT_TRUE(onDisk().isTrue(column)) << column;
    EXPECT_TRUE(m.form.lne[kAlarmLine].visible);

    click(kWarningBox, true);
    expectAlarmGroup(true);
}

TEST_F(SetupCheckBoxes, TheAlarmLineBoxShowsTheLineAtOnceWhereItsLevelLies) {
    LineControl& line = m.form.lne[kAlarmLine];
    m.values.cpmAlarmLevel = 40;
    m.values.cpmScaleFactor = 60;
    click(kAlarmLineBox, false);
    EXPECT_FALSE(line.visible);
    click(kAlarmLineBox, true);
    EXPECT_EQ(std::tie(line.visible, line.y1), std::tuple(true, 4200));

    m.values.cpmScaleFactor = 120;
    m.values.cpmAlarmLevel = 300;  // above the graph: shown, it would stand at another level
    click(kAlarmLineBox, false);
    click(kAlarmLineBox, true);
    EXPECT_FALSE(line.visible);
    EXPECT_TRUE(onDisk().isTrue("warnline"));
}

TEST_F(SetupCheckBoxes, TheRecordBoxSwitchesTheRecordFileBoxesKeepingTheirChecks) {
    click(kRecordBox, false);
    for (int i : {kMasterRecordBox, kDailyRecordBox}) EXPECT_TRUE(form.Check1[i].value && !form.Check1[i].enabled);
    EXPECT_TRUE(onDisk().isTrue("masterrecord") && onDisk().isTrue("dailyrecord"));
    click(kRecordBox, true);
    EXPECT_TRUE(form.Check1[kMasterRecordBox].enabled && form.Check1[kDailyRecordBox].enabled);
}

TEST_F(SetupCheckBoxesLegacy, EveryClickCommitsEvenWhenTheWriteFailed) {
    m.settings.write("buzzer", std::int64_t{-1});  // pending
    form.Check1[kRecordBox].value = true;
    setup::Check1_Click(m.ctx, form, kRecordBox);  // no such column in this file
    EXPECT_TRUE(onDisk().isTrue("buzzer"));
    EXPECT_TRUE(form.Check1[kMasterRecordBox].enabled);
}

TEST_F(SetupSwatches, EachSwatchRecoloursExactlyWhatStartUpColoursWithItsSetting) {
    const struct {
        int swatch;
        const char* column;
        Colour picked;
    } swatches[] = {{kBarColourSwatch, "graphcolor", rgb(0x12, 0x34, 0x56)},
                    {kDoseColourSwatch, "linecolor", rgb(0x21, 0x43, 0x65)},
                    {kAlarmLineColourSwatch, "warnlinecolor", rgb(0x31, 0x42, 0x53)}};
    std::map<int, std::set<std::string>> recoloured;
    for (const auto& s : swatches) {
        m.desktop.pickedColour = s.picked;
        setup::Label1_Click(m.ctx, form, s.swatch);
        EXPECT_EQ(form.Label1[s.swatch].backColour, s.picked);
        EXPECT_EQ(onDisk().int32(s.column), static_cast<std::int32_t>(s.picked));
        recoloured[s.swatch] = holding(m.form, s.picked);
    }

    // The next start colours the same elements from the stored settings, and the next opening of the
    // dialog shows the colours.
    m.form = makeMainForm();
    Form_Load(m.ctx);
    for (const auto& s : swatches) {
        const std::set<std::string> started = holding(m.form, s.picked);
        EXPECT_FALSE(started.empty()) << s.column;
        EXPECT_EQ(started, recoloured[s.swatch]) << s.column;
    }
    EXPECT_FALSE(m.form.lne[kAlarmLine].visible);  // still loading: the scale leaves it hidden
    SetupForm next = setup::makeSetupForm();
    setup::Form_Load(m.ctx, next);
    for (const auto& s : swatches) EXPECT_EQ(next.Label1[s.swatch].backColour, s.picked) << s.column;

    // What each colour means on the graph: the peak bar goes with the bars, the "*" with the dose
    // line, the alarm line has a colour of its own; the axes stay black.
    const std::set<std::string>& bars = recoloured[kBarColourSwatch];
    const std::set<std::string>& dose = recoloured[kDoseColourSwatch];
    EXPECT_TRUE(bars.count("tgt(0).back") && bars.count("tgt(81).back") && bars.count("lbl(10).fore"));
    EXPECT_TRUE(dose.count("tgt(82).fore") && dose.count("bar(79)") && dose.count("lbl(17).fore"));
    EXPECT_EQ(recoloured[kAlarmLineColourSwatch], std::set<std::string>{"lne(7)"});
    EXPECT_TRUE(holding(m.form, kBlack).count("lne(0)") && holding(m.form, kBlack).count("lne(1)"));
}

TEST_F(SetupSwatches, ACancelACaptionOrADisabledSwatchChangesNothing) {
    m.desktop.pickedColour.reset();
    setup::Label1_Click(m.ctx, form, kBarColourSwatch);
    m.desktop.pickedColour = kPicked;
    for (int i : {0, 1, 2, 3, 5, 8, 9, 10}) setup::Label1_Click(m.ctx, form, i);
    setup::setCheck(m.ctx, form, kWarningBox, false);
    setup::Label1_Click(m.ctx, form, kAlarmLineColourSwatch);
    EXPECT_EQ(m.desktop.pickerOpened, 1);  // for the cancelled pick only
    EXPECT_TRUE(holding(m.form, kPicked).empty());
    for (const LabelControl& label : form.Label1) EXPECT_NE(label.backColour, kPicked);
    EXPECT_EQ(std::tuple(onDisk().int32("graphcolor"), onDisk().int32("warnlinecolor")),
              std::tuple(0xC08000, 0x0000FF));
}

TEST_F(SetupSwatches, AFailureEndsTheClickKeepingWhatWasDone) {
    m.settings.close();
    setup::Label1_Click(m.ctx, form, kDoseColourSwatch);
    EXPECT_EQ(form.Label1[kDoseColourSwatch].backColour, kPicked);
    EXPECT_TRUE(holding(m.form, kPicked).empty());
}

TEST_F(SetupValidation, UnchangedBoxesCloseWithoutWritingOrSending) {
    m.settings.write("buzzer", std::int64_t{-1});  // pending: any commit would store it
    EXPECT_FALSE(close());
    EXPECT_TRUE(m.port.sent.empty() && m.desktop.messages.empty());
    EXPECT_FALSE(saveDelayRuns());
    EXPECT_EQ(onDisk().number("buzzer"), 0);
}

TEST_F(SetupValidation, ABadTextIsRejectedWithItsBoxsMessageSelectedAndFocused) {
    const std::pair<int, std::string> boxes[] = {
        {kDoseLevelText, kDoseMessage}, {kCpmLevelText, kCpmMessage}, {kGammaText, kGammaMessage}};
    for (const auto& [box, message] : boxes) {
        const std::string before = form.txt[box].text;
        for (const char* text : {"abc", "-5", " 12", "1.2.3", "１２"}) {
            type(box, text);
            m.desktop.messages.clear();
            EXPECT_TRUE(close()) << box << text;
            EXPECT_EQ(m.desktop.messages, Texts{message}) << box << text;
            EXPECT_EQ(form.focusedText, box);
        }
        EXPECT_EQ(form.txt[box].selStart, 0);
        EXPECT_EQ(form.txt[box].selLength, 2);  // full-width digits are one character each
        type(box, before);
    }
    EXPECT_EQ(form.focusMoves, 15);
    EXPECT_TRUE(m.port.sent.empty());
    EXPECT_FALSE(saveDelayRuns());
    EXPECT_EQ(onDisk().number("warnLineLevel"), 0.5);
}

TEST_F(SetupValidation, LevelsUpTo65535AreAcceptedAndAppliedEverywhere) {
    EXPECT_TRUE(closeWith(kCpmLevelText, "65536"));
    type(kCpmLevelText, "65535");
    EXPECT_FALSE(closeWith(kGammaText, "40000"));
    EXPECT_EQ(m.desktop.messages, Texts{kCpmMessage});
    EXPECT_EQ(std::tie(m.values.cpmAlarmLevel, m.values.gammaCoefficient), std::tuple(65535, 40000));
    EXPECT_EQ(onDisk().number("gkeisuu"), 40000);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=65535\r\n", "set gms=40000\r\n"}));
}

TEST_F(SetupValidation, BothDeviceValuesAreSentInOrderThenSavedOnce) {
    type(kCpmLevelText, "12.5");
    EXPECT_FALSE(closeWith(kGammaText, "13.5"));
    EXPECT_EQ(m.port.sent, (Texts{"set atc=12\r\n", "set gms=14\r\n"}));  // halves to even
    EXPECT_FALSE(m.timers.isRunning(timer::kIntake));
    m.timers.advance(4000);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=12\r\n", "set gms=14\r\n", "save\r\n"}));
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
}

TEST_F(SetupValidation, AChangedTextIsAppliedEvenWhenItNamesTheSameNumber) {
    EXPECT_FALSE(closeWith(kCpmLevelText, "0100"));
    EXPECT_FALSE(closeWith(kCpmLevelText, ""));
    EXPECT_EQ(m.values.cpmAlarmLevel, 0);
    EXPECT_EQ(m.port.sent, (Texts{"set atc=100\r\n", "set atc=0\r\n"}));
}

TEST_F(SetupValidation, TheCpmLevelMovesTheAlarmLineAndIsNotStored) {
    LineControl& line = m.form.lne[kAlarmLine];
    line.visible = false;
    m.port.close();
    EXPECT_FALSE(closeWith(kCpmLevelText, "40"));
    EXPECT_EQ(std::tie(line.y1, line.y2, line.visible), std::tuple(4200, 4200, false));
    EXPECT_EQ(onDisk().number("warnCPMlevel"), 100);
    EXPECT_TRUE(m.port.sent.empty());  // the port is closed, yet the device-save delay runs
    EXPECT_TRUE(saveDelayRuns());

    m.state.isLoading = false;  // the main window's start-up is over: the line's setting shows it
    EXPECT_FALSE(closeWith(kCpmLevelText, "30"));
    EXPECT_TRUE(line.visible);
    EXPECT_FALSE(closeWith(kCpmLevelText, "65535"));  // beyond the graph's 16-bit arithmetic: not at 30 any more
    EXPECT_EQ(std::tie(m.values.cpmAlarmLevel, line.visible), std::tuple(65535, false));
    EXPECT_FALSE(closeWith(kCpmLevelText, "50"));  // back on the scale: drawn where it belongs
    EXPECT_EQ(std::tie(line.y1, line.visible), std::tuple(3600, true));
}

TEST_F(SetupValidation, BoxesAreCheckedInOrderAndDoneStepsStayDone) {
    type(kDoseLevelText, "0.3");
    EXPECT_TRUE(closeWith(kCpmLevelText, "y"));
    EXPECT_EQ(onDisk().number("warnLineLevel"), 0.3);
    EXPECT_TRUE(closeWith(kDoseLevelText, "x"));
    EXPECT_EQ(m.desktop.messages, (Texts{kCpmMessage, kDoseMessage}));

    // The stored dose level no longer counts as changed: nothing is committed.
    type(kDoseLevelText, "0.3");
    type(kCpmLevelText, "100");
    m.settings.write("buzzer", std::int64_t{-1});
    EXPECT_FALSE(close());
    EXPECT_EQ(onDisk().number("buzzer"), 0);
}

TEST_F(SetupValidation, ALevelSentBeforeARejectionIsStillSaved) {
    type(kCpmLevelText, "50");
    EXPECT_TRUE(closeWith(kGammaText, "abc"));
    EXPECT_EQ(m.port.sent, Texts{"set atc=50\r\n"});
    m.timers.advance(4000);
    EXPECT_EQ(m.port.sent.back(), "save\r\n");
    EXPECT_TRUE(m.timers.isRunning(timer::kIntake));
}

TEST_F(SetupValidation, OnlyACloseFromTheCloseBoxChecksAndApplies) {
    type(kDoseLevelText, "abc");
    type(kCpmLevelText, "40");
    EXPECT_FALSE(setup::Form_QueryUnload(m.ctx, form, setup::kCloseBySystem));
    EXPECT_TRUE(m.desktop.messages.empty() && m.port.sent.empty());
    EXPECT_EQ(m.values.cpmAlarmLevel, 100);
}

TEST_F(SetupValidation, ADoseLevelBeyondAnyNumberIsRejected) {
    EXPECT_TRUE(closeWith(kDoseLevelText, std::string(400, '9')));
    EXPECT_EQ(m.desktop.messages, Texts{kDoseMessage});
}

}  // namespace
}  // namespace rx47
