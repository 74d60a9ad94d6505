// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main window as designed: scales at the heights of their values, bars and segments that meet,
// and a right-hand column whose controls sit inside their panels without covering one another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "model/main_form.h"

namespace rx47 {
namespace {

struct Placed {
    std::string name;
    Geometry g;
};

bool inside(const Geometry& inner, const Geometry& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.left + inner.width <= outer.left + outer.width &&
           inner.top + inner.height <= outer.top + outer.height;
}

bool overlap(const Geometry& a, const Geometry& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

/// Every control with a face, by name; option buttons are placed by their frames.
std::vector<Placed> controlsOf(const MainForm& f) {
    std::vector<Placed> all;
    const auto add = [&](const std::string& array, const auto& controls) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            all.push_back({array + "(" + std::to_string(i) + ")", controls[i].geometry});
    };
    add("Label", f.Label);
    add("lbl", f.lbl);
    add("tme", f.tme);
    add("tgt", f.tgt);
    add("cmd", f.cmd);
    add("Combo1", f.Combo1);
    add("Frame", f.Frame);
    add("Image1", f.Image1);
    return all;
}

TEST(MainFormDesign, TheClientAreaHoldsEveryControlAndThePanelControlsLieInTheirPanelsWithoutOverlap) {
    const MainForm f = makeMainForm();
    const Geometry client{0, 0, f.clientWidth, f.clientHeight};
    EXPECT_EQ(std::pair(f.clientWidth, f.clientHeight), std::pair(12780, 7260));
    for (const Placed& c : controlsOf(f)) {
        EXPECT_TRUE(inside(c.g, client)) << c.name;
        EXPECT_GT(c.g.width, 0) << c.name;
    }
    for (const ShapeControl& s : f.Shape1) EXPECT_TRUE(inside(s.geometry, client));

    // One column, in the order they are drawn, top to bottom.
    std::vector<Geometry> panels;
    for (int i : kPanels) panels.push_back(f.Shape1[i].geometry);
    for (std::size_t i = 1; i < panels.size(); ++i) {
        EXPECT_EQ(panels[i].left, panels[0].left);
        EXPECT_EQ(panels[i].width, panels[0].width);
        EXPECT_GT(panels[i].top, panels[i - 1].top + panels[i - 1].height);
    }

    std::vector<Placed> column;
    for (const Placed& c : controlsOf(f))
        if (c.g.left >= panels[0].left && c.name != "Image1(0)") column.push_back(c);
    ASSERT_GT(column.size(), 40u);
    for (const Placed& c : column) {
        bool inAPanel = false;
        for (const Geometry& p : panels) inAPanel = inAPanel || inside(c.g, p);
        EXPECT_TRUE(inAPanel) << c.name;
    }
    for (std::size_t i = 0; i < column.size(); ++i)
        for (std::size_t j = i + 1; j < column.size(); ++j)
            EXPECT_FALSE(overlap(column[i].g, column[j].g)) << column[i].name << " / " << column[j].name;

    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(inside(f.Option1[k].geometry, f.Frame[0].geometry)) << k;
        EXPECT_TRUE(inside(f.Option2[k].geometry, f.Frame[1].geometry)) << k;
    }
    EXPECT_FALSE(overlap(f.Option1[0].geometry, f.Option1[1].geometry));
    EXPECT_FALSE(overlap(f.Option2[0].geometry, f.Option2[1].geometry));
    EXPECT_FALSE(overlap(f.Image1[kLogo].geometry, panels.back()));
}

TEST(MainFormDesign, EveryScaleValueStandsAtTheHeightOfItsValue) {
    const MainForm f = makeMainForm();
    constexpr double kPixel = 15;  // at 96 dpi
    const auto middleY = [](const Geometry& g) { return g.top + g.height / 2.0; };
    // A bar or a dose point of a label's value reaches the middle of the label, and every grid line
    // runs through a value label.
    const auto checkScale = [&](InclusiveRange values, InclusiveRange grid) {
        for (int k = 0; k < values.size(); ++k) {
            const double expected = graph::kBaseY - graph::kFullHeight * (k + 1.0) / values.size();
            EXPECT_NEAR(middleY(f.lbl[values.at(k)].geometry), expected, 1.5 * kPixel) << "lbl " << values.at(k);
        }
        for (int i : grid) {
            bool throughALabel = false;
            for (int v : values)
                throughALabel = throughALabel || std::abs(middleY(f.lbl[v].geometry) - f.lne[i].y1) <= kPixel;
            EXPECT_TRUE(throughALabel) << "lne " << i;
            EXPECT_EQ(f.lne[i].y1, f.lne[i].y2) << "lne " << i;
        }
    };
    checkScale(graph::kCpmValues, graph::kCpmGrid);
    checkScale(graph::kDoseValues, graph::kDoseGrid);
    EXPECT_EQ(f.lne[graph::kCpmGrid.last].y1, graph::kTopY);  // full scale
    EXPECT_EQ(f.lne[graph::kTimeAxis].y1, graph::kBaseY);
    // The CPM values left of the vertical axis, the dose values right of the plot.
    const Twips axis = f.lne[graph::kCpmAxis].x1;
    for (int i : graph::kCpmValues) EXPECT_LE(f.lbl[i].geometry.left + f.lbl[i].geometry.width, axis) << i;
    for (int i : graph::kDoseValues) EXPECT_GE(f.lbl[i].geometry.left, f.lne[graph::kDoseGrid.first].x2) << i;
}

TEST(MainFormDesign, TheBarsFollowOneAnotherAndEachSegmentJoinsTwoNeighbours) {
    const MainForm f = makeMainForm();
    const auto right = [](const Geometry& g) { return g.left + g.width; };
    for (int i : graph::kMinuteBars) {
        const Geometry& g = f.tgt[i].geometry;
        EXPECT_GT(g.width, 0) << i;
        EXPECT_EQ(g.top + g.height, graph::kBaseY - 180) << i;  // empty, over the time axis
        if (i > graph::kMinuteBars.first) {
            EXPECT_EQ(g.left - f.tgt[i - 1].geometry.left, graph::kSlotPitch) << i;
            EXPECT_LT(right(f.tgt[i - 1].geometry), g.left) << i;  // a gap between two bars
        }
    }
    EXPECT_GT(f.tgt[graph::kMinuteBars.first].geometry.left, f.lne[graph::kCpmAxis].x1);
    EXPECT_LT(right(f.tgt[graph::kNewest].geometry), f.lne[graph::kTimeAxis].x2);
    for (int i = 0; i < graph::kSegments; ++i) {
        const LineControl& s = f.bar[i];
        EXPECT_GE(s.x1, f.tgt[i].geometry.left) << i;
        EXPECT_LE(s.x1, right(f.tgt[i].geometry)) << i;
        EXPECT_GE(s.x2, f.tgt[i + 1].geometry.left) << i;
        EXPECT_LE(s.x2, right(f.tgt[i + 1].geometry)) << i;
    }
    // The peak bar stands between the axis and the first slot, the "*" over its whole width.
    const Geometry& peak = f.tgt[graph::kPeakBar].geometry;
    const Geometry& marker = f.tgt[graph::kPeakMarker].geometry;
    EXPECT_GT(peak.left, f.lne[graph::kCpmAxis].x1);
    EXPECT_LT(right(peak), f.tgt[graph::kMinuteBars.first].geometry.left);
    EXPECT_LE(marker.left, peak.left);
    EXPECT_GE(right(marker), right(peak));
    // The time labels lie under the time axis, in the window.
    for (int k : graph::kTimeLabels) {
        EXPECT_GT(f.tme[k].geometry.top, graph::kBaseY) << k;
        EXPECT_LE(f.tme[k].geometry.top + f.tme[k].geometry.height, f.clientHeight) << k;
        EXPECT_FALSE(f.tme[k].visible) << k;
    }
    // The alarm banner's text lies on its red box at the top of the plot.
    EXPECT_TRUE(inside(f.Label[kAlarmBanner].geometry, f.Shape1[kAlarmBox].geometry));
    EXPECT_LT(f.Shape1[kAlarmBox].geometry.top, graph::kTopY);
}

}  // namespace
}  // namespace rx47
