// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The two scales of the graph: relabelling, redrawing, the CPM alarm line and the stored choice.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/scales.h"
#include "display/trend_graph.h"
#include "model/graph_scales.h"
#include "support/program_folder.h"
#include "ui/controls.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

using test::TestMonitor;

struct Scales : ::testing::Test {
    TestMonitor m;
    void SetUp() override {
        Form_Load(m.ctx);
        Form_Activate(m.ctx);
        m.values.gammaCoefficient = 120;
    }
    /// The user picks an entry, as the view forwards it.
    void choose(int combo, const std::string& entry) {
        const ComboControl& c = m.form.Combo1[combo];
        for (std::size_t i = 0; i < c.items.size(); ++i)
            if (c.items[i] == entry) Combo1_Pick(m.ctx, combo, static_cast<int>(i));
    }
    /// A setting as stored on disk.
    std::string stored(const std::string& column) { return test::StoredSettings(m.folder.path()).text(column); }
    const LineControl& alarmLine() { return m.form.lne[kAlarmLine]; }
};

TEST_F(Scales, StartUpAppliesTheStoredScales) {
    EXPECT_EQ(m.form.Combo1[kCpmScaleList].text, "100");
    EXPECT_EQ(m.form.lbl[graph::kCpmValues.last].caption, "100");
    EXPECT_EQ(m.form.Combo1[kDoseScaleList].text, "0.400");
    EXPECT_EQ(m.form.lbl[graph::kDoseValues.last].caption, "0.400");
    showBarValue(m.ctx, 40, "50");
    EXPECT_EQ(m.form.tgt[40].geometry.height, graph::kFullHeight / 2);
}

/// The middle of a scale label from top to bottom.
double middleOf(const LabelControl& label) {
    return label.geometry.top + label.geometry.height / 2.0;
}

TEST_F(Scales, OnEveryCpmScaleABarReachesTheLabelOfItsValue) {
    for (const CpmScale& scale : kCpmScales) {
        const char* entry = scale.text;
        choose(kCpmScaleList, entry);
        EXPECT_EQ(m.form.lbl[graph::kCpmValues.last].caption, entry);  // full scale at the top
        for (int i : graph::kCpmValues) {
            const LabelControl& label = m.form.lbl[i];
            showBarValue(m.ctx, 40, label.caption);
            EXPECT_NEAR(m.form.tgt[40].geometry.top, middleOf(label), 15) << entry << ": " << label.caption;
        }
    }
}

TEST_F(Scales, OnEveryDoseScaleTheDoseLineMeetsTheLabelOfItsValue) {
    m.values.gammaCoefficient = 1000;  // a dose rate of a thousandth of the CPM
    for (const DoseScale& scale : kDoseScales) {
        const char* entry = scale.text();
        choose(kDoseScaleList, entry);
        EXPECT_EQ(m.form.lbl[graph::kDoseValues.last].caption, entry);
        for (int i : graph::kDoseValues) {
            const LabelControl& label = m.form.lbl[i];
            const std::string cpm = std::to_string(std::lround(std::stod(label.caption) * 1000));
            EXPECT_NEAR(dosePointY(m.ctx, cpm), middleOf(label), 30) << entry << ": " << label.caption;
        }
    }
}

TEST_F(Scales, ChoosingFiveHundredRedrawsTheBarsAndIsStored) {
    const Twips gridBefore = m.form.lne[2].y1;
    showBarValue(m.ctx, 10, "250");
    showBarValue(m.ctx, 11, "600");
    choose(0, "500");
    EXPECT_EQ(m.form.lbl[graph::kCpmValues.first].caption, "50");
    EXPECT_EQ(m.form.tgt[10].geometry.height, 3000);
    EXPECT_EQ(m.form.tgt[10].geometry.top, 3600);
    EXPECT_EQ(m.form.tgt[11].geometry.height, 6000);
    EXPECT_EQ(m.form.lne[2].y1, gridBefore);
    EXPECT_EQ(stored("CPMscale"), "500");
}

TEST_F(Scales, AfterACpmScaleChangeThePeakBarTakesTheMaximumCaption) {
    m.form.Label[kMaxCpm].caption = "30";
    choose(0, "50");
    EXPECT_EQ(m.form.tgt[81].geometry.height, 3600);
    m.form.Label[kMaxCpm].caption = "";  // after a reset
    choose(0, "100");
    EXPECT_EQ(m.form.tgt[81].geometry.height, 0);
    EXPECT_EQ(m.form.tgt[81].geometry.top, 6600);
}

TEST_F(Scales, TheAlarmLineStandsAtTheAlarmLevel) {
    m.values.cpmAlarmLevel = 40;
    choose(0, "100");
    EXPECT_EQ(alarmLine().y1, 4200);
    EXPECT_EQ(alarmLine().y2, 4200);
    EXPECT_TRUE(alarmLine().visible);
    choose(0, "50");
    EXPECT_EQ(alarmLine().y1, 1800);

    m.values.cpmAlarmLevel = 60;  // -600: above full scale
    choose(0, "50");
    EXPECT_EQ(alarmLine().y1, -600);
    EXPECT_FALSE(alarmLine().visible);
}

TEST_F(Scales, ALevelThatCannotBePlacedOnTheChosenScaleHidesTheLine) {
    m.values.cpmAlarmLevel = 300;
    choose(0, "500");
    EXPECT_EQ(alarmLine().y1, 3000);
    EXPECT_TRUE(alarmLine().visible);
    choose(0, "50");                          // 300 × 120 = 36000: beyond the graph's 16-bit arithmetic
    EXPECT_EQ(m.form.lbl[10].caption, "50");  // labels and factor are set before the line
    EXPECT_EQ(m.values.cpmScaleFactor, 120);
    EXPECT_FALSE(alarmLine().visible);    // left at 3000 it would read as 30 CPM
    EXPECT_EQ(stored("CPMscale"), "50");  // the click goes on
    choose(0, "500");
    EXPECT_EQ(alarmLine().y1, 3000);
    EXPECT_TRUE(alarmLine().visible);
}

TEST_F(Scales, WithoutTheLineSettingAScaleChangeNeitherShowsNorHidesAPlottedLine) {
    m.setSetting("warnline", std::int64_t{0});
    m.values.cpmAlarmLevel = 40;
    choose(0, "100");
    EXPECT_FALSE(alarmLine().visible);
    m.form.lne[kAlarmLine].visible = true;  // shown by someone else
    choose(0, "50");
    EXPECT_TRUE(alarmLine().visible);
}

TEST_F(Scales, WhileLoadingOrWithoutTheDeviceTheLineIsNotShown) {
    m.values.cpmAlarmLevel = 40;
    m.state.linkUp = false;
    applyCpmScale(m.ctx);
    EXPECT_FALSE(alarmLine().visible);
    EXPECT_EQ(alarmLine().y1, 4200);  // placed all the same

    m.state.linkUp = true;
    m.state.isLoading = true;
    m.form.lne[kAlarmLine].visible = true;
    applyCpmScale(m.ctx);
    EXPECT_TRUE(alarmLine().visible);  // a line on the plot keeps its visibility
    m.values.cpmAlarmLevel = 60;
    m.form.Combo1[0].text = "50";
    applyCpmScale(m.ctx);
    EXPECT_FALSE(alarmLine().visible);  // one above it does not
}

TEST_F(Scales, ChoosingADoseScaleRelabelsAndRedrawsEverySegment) {
    showBarValue(m.ctx, 40, "12");  // 0.100
    showBarValue(m.ctx, 41, "30");  // 0.250
    m.state.maxCpm = 30;
    choose(2, "0.200");
    EXPECT_EQ(m.form.lbl[graph::kDoseValues.first].caption, "0.033");
    EXPECT_EQ(m.form.bar[40].y1, 3600);
    EXPECT_EQ(m.form.bar[40].y2, 600);  // above full scale: on the top line
    EXPECT_EQ(m.form.bar[39].y2, 3600);
    EXPECT_EQ(m.form.bar[10].y1, 6600);
    EXPECT_EQ(m.form.tgt[82].geometry.top, 6600 - 7500 - 60);
    EXPECT_EQ(stored("LINEscale"), "0.200");
}

TEST_F(Scales, ThePortListChangesNoScaleAndOnlyItTakesTypedText) {
    m.form.Combo1[1].items = {"1", "2"};
    Combo1_Pick(m.ctx, 1, 1);
    EXPECT_EQ(m.form.Combo1[1].text, "2");
    const std::size_t opens = m.port.opened.size();
    Combo1_Change(m.ctx, 1, "7");
    EXPECT_EQ(m.form.Combo1[1].text, "7");
    EXPECT_EQ(m.port.opened.size(), opens);  // typing opens nothing

    // A scale is picked from its list, never typed; an entry outside the list picks nothing.
    Combo1_Change(m.ctx, 0, "75");
    Combo1_Pick(m.ctx, 0, 9);
    Combo1_Change(m.ctx, 3, "x");
    EXPECT_EQ(m.form.Combo1[0].text, "100");
    EXPECT_EQ(m.values.cpmScaleFactor, 60);
    EXPECT_EQ(m.state.doseScaleFactor, 15000);
    EXPECT_EQ(stored("CPMscale"), "100");
    EXPECT_EQ(stored("LINEscale"), "0.400");
}

TEST_F(Scales, WhileLoadingAChoiceDoesNothing) {
    m.state.isLoading = true;
    choose(0, "500");
    choose(2, "0.600");
    EXPECT_EQ(m.values.cpmScaleFactor, 60);
    EXPECT_EQ(m.form.lbl[10].caption, "100");
    EXPECT_EQ(m.state.doseScaleFactor, 15000);
    EXPECT_EQ(stored("CPMscale"), "100");
    EXPECT_EQ(stored("LINEscale"), "0.400");
}

TEST_F(Scales, AScaleTextMatchingNoEntryKeepsTheFactor) {
    m.form.Combo1[0].text = "75";
    m.form.Combo1[2].text = "0.25";
    applyCpmScale(m.ctx);
    applyDoseScale(m.ctx);
    EXPECT_EQ(m.values.cpmScaleFactor, 60);
    EXPECT_EQ(m.state.doseScaleFactor, 15000);
    EXPECT_EQ(m.form.lbl[10].caption, "100");
    m.form.Combo1[2].text = "0.6";  // compared as a number
    applyDoseScale(m.ctx);
    EXPECT_EQ(m.state.doseScaleFactor, 10000);
}

}  // namespace
}  // namespace rx47
