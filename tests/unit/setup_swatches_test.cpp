// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog's colour swatches: a picked colour lands on the swatch, in the settings file and
// on exactly the elements of the main window that start-up colours with that setting.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "setup/setup.h"
#include "support/program_folder.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

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

struct SetupSwatches : ::testing::Test {
    test::TestMonitor m;
    SetupForm form = setup::makeSetupForm();

    SetupSwatches() {
        setup::Form_Load(m.ctx, form);
        m.desktop.pickedColour = kPicked;
    }
    std::int32_t onDisk(const char* column) { return test::StoredSettings(m.folder.path()).int32(column); }
};

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
        EXPECT_EQ(onDisk(s.column), static_cast<std::int32_t>(s.picked));
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
    EXPECT_EQ(onDisk("graphcolor"), 0xC08000);
    EXPECT_EQ(onDisk("warnlinecolor"), 0x0000FF);
}

TEST_F(SetupSwatches, AFailureEndsTheClickKeepingWhatWasDone) {
    m.settings.close();
    setup::Label1_Click(m.ctx, form, kDoseColourSwatch);
    EXPECT_EQ(form.Label1[kDoseColourSwatch].backColour, kPicked);
    EXPECT_TRUE(holding(m.form, kPicked).empty());
}

}  // namespace
}  // namespace rx47
