// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The tool tips of the graph's bars and peak markers.
#include <gtest/gtest.h>

#include "display/tooltips.h"
#include "display/trend_graph.h"
#include "support/program_folder.h"

namespace rx47 {
namespace {

using test::TestMonitor;

TEST(ToolTips, ThePeakMarkersTellTheMaximumAndItsDose) {
    TestMonitor m;
    m.form.Label[kMaxCpm].caption = "37";
    m.form.Label[kMaxDose].caption = "0.308";
    tgt_MouseMove(m.ctx, 81);
    EXPECT_EQ(m.form.tgt[81].toolTip, " 最大CPM ： 37 ");
    tgt_MouseMove(m.ctx, 82);
    EXPECT_EQ(m.form.tgt[82].toolTip, " 最大線量 ： 0.308μSv/h  ");
    // Each element keeps its own text.
    tgt_MouseMove(m.ctx, 81);
    EXPECT_EQ(m.form.tgt[81].toolTip, " 最大CPM ： 37 ");
    EXPECT_EQ(m.form.tgt[82].toolTip, " 最大線量 ： 0.308μSv/h  ");
}

TEST(ToolTips, AMinuteBarShowsItsBareValueAsItIsNow) {
    TestMonitor m;
    m.values.cpmScaleFactor = 60;
    showBarValue(m.ctx, 80, "25");
    tgt_MouseMove(m.ctx, 80);
    EXPECT_EQ(m.form.tgt[80].toolTip, "25");
    // The graph scrolls under a resting pointer: the next move shows the new value.
    showBarValue(m.ctx, 80, "31");
    tgt_MouseMove(m.ctx, 80);
    EXPECT_EQ(m.form.tgt[80].toolTip, "31");
    m.form.Label[kMaxCpm].caption = "40";
    tgt_MouseMove(m.ctx, 81);
    EXPECT_EQ(m.form.tgt[81].toolTip, " 最大CPM ： 40 ");
}

TEST(ToolTips, AnIndexOutsideTheArrayDoesNothing) {
    TestMonitor m;
    tgt_MouseMove(m.ctx, 83);
    tgt_MouseMove(m.ctx, -1);
    EXPECT_EQ(barToolTip(m.form, 83), "");
}

}  // namespace
}  // namespace rx47
