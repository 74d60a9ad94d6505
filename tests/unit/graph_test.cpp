// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The trend graph: time axis, bar heights, dose points and segments, peak markers; the minutes come
// from readings and the real minute update. Its two scales: relabelling, redrawing, the CPM alarm
// line and the stored choice.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <tuple>

#include "display/scales.h"
#include "display/trend_graph.h"
#include "model/graph_scales.h"
#include "monitor/minute_update.h"
#include "support/program_folder.h"
#include "ui/controls.h"
#include "ui/startup.h"

namespace rx47 {
namespace {

using test::TestMonitor;

struct Graph : ::testing::Test {
    TestMonitor m;
    void SetUp() override {
        m.connectDevice();
        m.values.cpmScaleFactor = 60;     // scale "100"
        m.state.doseScaleFactor = 15000;  // scale 0.400
        m.state.isLoading = kFalse;
        m.setSetting("record", std::int64_t{0});
        m.clock.time = {2026, 5, 7, 9, 30, 0};
    }
    /// One minute of the monitor: a reading, or none with the data link stopped for the minute, then
    /// the update as the clock minute turns.
    void minute(std::optional<int> cpm) {
        if (cpm) {
            if (m.form.Option1[kStopOption].value) Option1_Click(m.ctx, kReceiveOption);
            m.read(*cpm);
        } else if (!m.form.Option1[kStopOption].value) {
            Option1_Click(m.ctx, kStopOption);
        }
        m.clock.time.minute = (m.clock.time.minute + 1) % 60;
        minuteUpdate(m.ctx);
    }
    const LabelControl& slot(int i) { return m.form.tgt[i]; }
    const LineControl& segment(int i) { return m.form.bar[i]; }
    /// A bar's or marker's height and top, and a segment's visibility and ends, each compared as one.
    auto heightTop(int i) { return std::tie(slot(i).geometry.height, slot(i).geometry.top); }
    auto ends(int i) { return std::tie(segment(i).visible, segment(i).y1, segment(i).y2); }
};

TEST_F(Graph, TheTimeAxisMarksTheTenMinuteTimesAroundNowEachOverItsMinute) {
    // A shown label stands (within a pixel and a half) over the bar of the minute it names; the
    // newest bar is the minute now.
    const auto expectOverTheirMinutes = [&] {
        const int now = m.clock.time.hour * 60 + m.clock.time.minute;
        int placed = 0;
        for (int k : graph::kTimeLabels) {
            const LabelControl& label = m.form.tme[k];
            if (!label.visible) continue;
            const int named = std::stoi(label.caption.substr(0, 2)) * 60 + std::stoi(label.caption.substr(3));
            const int back = (now - named + 24 * 60) % (24 * 60);
            if (back > graph::kNewest) continue;  // still to come
            const Geometry& bar = slot(graph::kNewest - back).geometry;
            EXPECT_NEAR(label.geometry.left + label.geometry.width / 2.0, bar.left + bar.width / 2.0, 22.5)
                << label.caption;
            ++placed;
        }
        EXPECT_GE(placed, 8);
    };
    m.clock.time = {2026, 5, 7, 9, 30, 0};
    relabelTimeAxis(m.ctx);
    const char* expected[] = {"08:10", "08:20", "08:30", "08:40", "08:50", "09:00", "09:10", "09:20", "09:30", "09:40"};
    for (int k = 0; k < 10; ++k) EXPECT_EQ(m.form.tme[k].caption, expected[k]) << k;
    EXPECT_TRUE(m.form.tme[0].visible);
    EXPECT_FALSE(m.form.tme[9].visible);
    expectOverTheirMinutes();

    m.clock.time.minute = 35;  // the labels have moved five minutes to the left
    relabelTimeAxis(m.ctx);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(m.form.tme[k].caption, expected[k]) << k;
    EXPECT_FALSE(m.form.tme[0].visible);  // it would stand on the CPM scale
    EXPECT_TRUE(m.form.tme[9].visible);
    for (int k = 1; k <= 8; ++k) EXPECT_TRUE(m.form.tme[k].visible) << k;
    expectOverTheirMinutes();
}

TEST_F(Graph, TheTimeAxisWrapsAtMidnightBothWays) {
    m.clock.time = {2026, 5, 7, 23, 55, 0};
    relabelTimeAxis(m.ctx);
    EXPECT_EQ(m.form.tme[9].caption, "00:00");
    EXPECT_EQ(m.form.tme[8].caption, "23:50");

    m.clock.time = {2026, 5, 8, 0, 5, 0};
    relabelTimeAxis(m.ctx);
    EXPECT_EQ(m.form.tme[9].caption, "00:10");
    EXPECT_EQ(m.form.tme[8].caption, "00:00");
    EXPECT_EQ(m.form.tme[7].caption, "23:50");
    EXPECT_EQ(m.form.tme[0].caption, "22:40");
}

TEST_F(Graph, BarsStandOnTheBaseLineAndStopAtFullScale) {
    setNewestBar(m.ctx, 25);
    EXPECT_EQ(heightTop(80), std::tuple(1500, 5100));
    EXPECT_EQ(std::tie(slot(80).visible, slot(80).caption), std::tuple(true, "25"));
    setNewestBar(m.ctx, 150);
    EXPECT_EQ(heightTop(80), std::tuple(6000, 600));
    setNewestBar(m.ctx, 0);
    EXPECT_EQ(std::tie(slot(80).visible, slot(80).caption), std::tuple(false, "0"));
    showBarValue(m.ctx, 5, "abc");  // not a number: counts as 0
    EXPECT_EQ(std::tie(slot(5).visible, slot(5).geometry.height), std::tuple(false, 0));
}

TEST_F(Graph, ScrollingMovesEveryValueOneSlotLeftAndKeepsTheNewest) {
    minute(10);
    minute(20);
    EXPECT_EQ(std::tie(slot(79).caption, slot(79).geometry.height, slot(80).caption), std::tuple("10", 600, "20"));
    scrollBars(m.ctx);  // the newest keeps its value until the minute's own arrives
    EXPECT_EQ(std::tie(slot(78).caption, slot(79).caption, slot(80).caption), std::tuple("10", "20", "20"));
    clearNewestBar(m.ctx);
    EXPECT_EQ(std::tie(slot(80).visible, slot(80).geometry.height), std::tuple(false, 0));
}

TEST_F(Graph, DosePointsFollowTheDoseScaleAndStopAtTheTopLine) {
    // 0.200 μSv/h, 0.500 (above full scale), none, 0.208.
    EXPECT_EQ(
        std::tuple(dosePointY(m.ctx, "24"), dosePointY(m.ctx, "60"), dosePointY(m.ctx, "0"), dosePointY(m.ctx, "25")),
        std::tuple(3600, 600, 6600, 3480));
}

TEST_F(Graph, WithoutACoefficientTheDosePointLiesOnTheBaseLineAndDrawingDecidesNothing) {
    m.values.gammaCoefficient = 0;
    const MonitorState before = m.state;
    EXPECT_EQ(std::tuple(dosePointY(m.ctx, "24"), dosePointY(m.ctx, "0")), std::tuple(6600, 6600));
    // Neither the coefficient is fetched nor a search started by drawing: the minute's dose captions
    // do that, in their own step.
    EXPECT_EQ(m.values.gammaCoefficient, 0);
    EXPECT_EQ(m.state, before);
    EXPECT_FALSE(m.timers.isRunning(timer::kPortAdvance));
}

TEST_F(Graph, SegmentsJoinOnlyNeighbouringShownBars) {
    minute(24);
    minute(36);
    EXPECT_EQ(ends(79), std::tuple(true, 3600, 2100));  // 0.200 to 0.300
    EXPECT_FALSE(segment(78).visible);
}

TEST_F(Graph, ABarBetweenTwoEmptySlotsHasNoSegment) {
    minute(std::nullopt);
    minute(30);
    minute(std::nullopt);
    EXPECT_EQ(std::tie(slot(79).visible, slot(80).visible, segment(79).visible), std::tuple(true, false, false));
    minute(std::nullopt);
    EXPECT_EQ(std::tie(slot(78).visible, segment(77).visible, segment(78).visible, segment(79).visible),
              std::tuple(true, false, false, false));
    minute(36);  // the graph goes on where it left off
    EXPECT_EQ(std::tie(slot(80).visible, segment(79).visible), std::tuple(true, false));
    minute(24);
    EXPECT_EQ(ends(79), std::tuple(true, 2100, 3600));
}

TEST_F(Graph, ThePeakMarkersMoveOnlyWithANewMaximum) {
    minute(24);
    const LabelControl& peak = slot(81);
    const LabelControl& star = slot(82);
    EXPECT_TRUE(peak.visible && star.visible);
    EXPECT_EQ(heightTop(81), std::tuple(1440, 5160));
    EXPECT_EQ(star.geometry.top, 3540);  // 60 above the dose point of 0.200
    minute(12);
    minute(std::nullopt);
    EXPECT_EQ(std::tie(peak.geometry.top, star.geometry.top, peak.visible), std::tuple(5160, 3540, true));
}

TEST_F(Graph, ThePeakDoseMarkerHasALowerLimitButNoUpperOne) {
    m.state.maxCpm = 120;  // 1.000 μSv/h, far above full scale
    m.form.Label[kMaxCpm].caption = "120";
    movePeakMarkers(m.ctx, 120);
    EXPECT_EQ(std::tie(slot(82).geometry.top, slot(81).geometry.height), std::tuple(6600 - 15000 - 60, 6000));

    m.state.maxCpm = 1;  // 0.008: 6420, kept above the axis
    movePeakMarkers(m.ctx, 1);
    EXPECT_EQ(slot(82).geometry.top, 5940);
}

TEST_F(Graph, AMaximumOfZeroLeavesThePeakMarkersHidden) {
    m.form.Label[kMaxCpm].caption = "0";
    movePeakMarkers(m.ctx, 0);
    EXPECT_EQ(std::tie(slot(graph::kPeakBar).visible, slot(graph::kPeakMarker).visible), std::tuple(false, false));
}

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
    /// Both scales as supplied (CPM 100, dose 0.400): in the models, on the axis and on disk.
    void expectSuppliedScales() {
        EXPECT_EQ(m.values.cpmScaleFactor, 60);
        EXPECT_EQ(m.form.lbl[graph::kCpmValues.last].caption, "100");
        EXPECT_EQ(m.state.doseScaleFactor, 15000);
        EXPECT_EQ(stored("CPMscale"), "100");
        EXPECT_EQ(stored("LINEscale"), "0.400");
    }
};

TEST_F(Scales, StartUpAppliesTheStoredScales) {
    EXPECT_EQ(std::tie(m.form.Combo1[kCpmScaleList].text, m.form.lbl[graph::kCpmValues.last].caption,
                       m.form.Combo1[kDoseScaleList].text, m.form.lbl[graph::kDoseValues.last].caption),
              std::tuple("100", "100", "0.400", "0.400"));
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
    EXPECT_EQ(std::tie(m.form.tgt[10].geometry.height, m.form.tgt[10].geometry.top, m.form.tgt[11].geometry.height),
              std::tuple(3000, 3600, 6000));
    EXPECT_EQ(m.form.lne[2].y1, gridBefore);
    EXPECT_EQ(stored("CPMscale"), "500");
}

TEST_F(Scales, AfterACpmScaleChangeThePeakBarTakesTheMaximumCaption) {
    m.form.Label[kMaxCpm].caption = "30";
    choose(0, "50");
    EXPECT_EQ(m.form.tgt[81].geometry.height, 3600);
    m.form.Label[kMaxCpm].caption = "";  // after a reset
    choose(0, "100");
    EXPECT_EQ(std::tie(m.form.tgt[81].geometry.height, m.form.tgt[81].geometry.top), std::tuple(0, 6600));
}

TEST_F(Scales, TheAlarmLineStandsAtTheAlarmLevelOrHidesWhereTheScaleCannotPlaceIt) {
    const struct {
        int level;
        const char* scale;
        std::int16_t factor;
        std::optional<Twips> y;  // none: not checked
        bool visible;
    } steps[] = {
        {40, "100", 60, 4200, true},
        {40, "50", 120, 1800, true},
        {60, "50", 120, -600, false},  // above full scale
        {300, "500", 12, 3000, true},
        // 300 × 120 = 36000: beyond the graph's 16-bit arithmetic. Left at 3000 the line would read as
        // 30 CPM; the labels and the factor are set before it, and the click goes on to the store.
        {300, "50", 120, std::nullopt, false},
        {300, "500", 12, 3000, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(std::to_string(s.level) + " on " + s.scale);
        m.values.cpmAlarmLevel = s.level;
        choose(0, s.scale);
        EXPECT_EQ(m.form.lbl[graph::kCpmValues.last].caption, s.scale);
        EXPECT_EQ(m.values.cpmScaleFactor, s.factor);
        EXPECT_EQ(stored("CPMscale"), s.scale);
        EXPECT_EQ(alarmLine().visible, s.visible);
        if (s.y) {
            EXPECT_EQ(std::tie(alarmLine().y1, alarmLine().y2), std::tuple(*s.y, *s.y));
        }
    }
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
    m.state.link = LinkState::NotFound;
    applyCpmScale(m.ctx);
    EXPECT_FALSE(alarmLine().visible);
    EXPECT_EQ(alarmLine().y1, 4200);  // placed all the same

    m.state.link = LinkState::Linked;
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
    // 0.100 to 0.250, above full scale: on the top line.
    EXPECT_EQ(std::tie(m.form.bar[40].y1, m.form.bar[40].y2, m.form.bar[39].y2, m.form.bar[10].y1),
              std::tuple(3600, 600, 3600, 6600));
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
    expectSuppliedScales();
}

TEST_F(Scales, WhileLoadingAChoiceDoesNothing) {
    m.state.isLoading = true;
    choose(0, "500");
    choose(2, "0.600");
    expectSuppliedScales();
}

TEST_F(Scales, AScaleTextMatchingNoEntryKeepsTheFactor) {
    m.form.Combo1[0].text = "75";
    m.form.Combo1[2].text = "0.25";
    applyCpmScale(m.ctx);
    applyDoseScale(m.ctx);
    expectSuppliedScales();
    m.form.Combo1[2].text = "0.6";  // compared as a number
    applyDoseScale(m.ctx);
    EXPECT_EQ(m.state.doseScaleFactor, 10000);
}

}  // namespace
}  // namespace rx47
