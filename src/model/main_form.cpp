// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/main_form.h"

#include <string>

#include "base/number.h"
#include "model/graph_scales.h"

namespace rx47 {

namespace {

const std::string kCpm = "CPM";
const std::string kMicroSievert = "μSv/h";

const Font kScaleFont{kDesignFont, 9.75, true};
const Font kTimeFont{kDesignFont, 9.75, false};
const Font kHeadingFont{kDesignFont, 9, true};
const Font kStatusFont{kDesignFont, 15.75, true};
const Font kBannerFont{kDesignFont, 12, true};

constexpr Colour kYellow = rgb(0xFF, 0xFF, 0x00);

// The right-hand column: three panels 2895 wide from x 9600, their contents indented a little.
constexpr Twips kPanelLeft = 9600;
constexpr Twips kPanelWidth = 2895;
constexpr Twips kIndent = 9720;
constexpr Twips kTextHeight = 240;  // one line of the window's 9-point font

void text(LabelControl& l, const std::string& caption, Geometry g, Align align = Align::Left) {
    l.caption = caption;
    l.geometry = g;
    l.align = align;
}

void heading(LabelControl& l, const std::string& caption, Twips top) {
    text(l, caption, {kIndent, top, 1800, 225});
    l.font = kHeadingFont;
}

/// A graph label: no background of its own, so the grid shows through.
void graphLabel(LabelControl& l, const std::string& caption, Geometry g, Align align, const Font& font) {
    text(l, caption, g, align);
    l.font = font;
    l.transparent = true;
}

void lamp(LabelControl& l, Twips left, Twips top, Colour colour) {
    l.geometry = {left, top, 180, 180};
    l.backColour = colour;
    l.border = true;
}

void line(LineControl& l, Twips x1, Twips y1, Twips x2, Twips y2, Colour colour, bool dotted, int width = 1) {
    l.x1 = x1, l.y1 = y1, l.x2 = x2, l.y2 = y2;
    l.colour = colour;
    l.dotted = dotted;
    l.width = width;
}

/// One row of figures in the analysis panel: CPM value, "CPM", dose value, "μSv/h", in columns that
/// leave room for "1000" and "12.50" on the left of their units.
void readoutRow(MainForm& f, ReadoutRow row, Twips top) {
    text(f.Label[row.cpm], "", {10125, top, 510, kTextHeight}, Align::Right);
    text(f.Label[row.cpmUnit], kCpm, {10695, top, 435, kTextHeight});
    text(f.Label[row.dose], "", {11130, top, 555, kTextHeight}, Align::Right);
    text(f.Label[row.doseUnit], kMicroSievert, {11745, top, 630, kTextHeight});
}

/// A statistic of the last minute: its two-character heading, then its figures on the same row.
void statisticRow(MainForm& f, int headingLabel, const std::string& heading, ReadoutRow row, Twips top) {
    text(f.Label[headingLabel], heading, {kIndent, top, 405, kTextHeight});
    readoutRow(f, row, top);
}

void graphArea(MainForm& f) {
    // Axes, grid and the CPM alarm line. Grid lines are grey by design; start-up gives them the
    // colours of the settings.
    using namespace graph;
    line(f.lne[kCpmAxis], 720, 360, 720, kBaseY, kBlack, false);
    line(f.lne[kTimeAxis], 720, kBaseY, 9360, kBaseY, kBlack, false);
    // The CPM grid at every second value label, its last line at full scale.
    const Twips cpmGrid[] = {5400, 4200, 3000, 1800};
    for (int k = 0; k < 4; ++k) line(f.lne[kCpmGrid.at(k)], 720, cpmGrid[k], 8280, cpmGrid[k], kGrey, true);
    line(f.lne[kCpmGrid.last], 720, kTopY, 8640, kTopY, kGrey, true);
    line(f.lne[kAlarmLine], 720, kBaseY, 8640, kBaseY, kRed, false, 2);
    f.lne[kAlarmLine].visible = false;
    const Twips doseGrid[] = {5580, 4590, 3585, 2580, 1590};
    for (int k = 0; k < kDoseGrid.size(); ++k)
        line(f.lne[kDoseGrid.at(k)], 1080, doseGrid[k], 8640, doseGrid[k], kGrey, true);

    // Scale labels: CPM right-aligned left of the y axis, dose rate right of the plot.
    graphLabel(f.lbl[kCpmTitle], kCpm, {420, 135, 600, 225}, Align::Centre, kScaleFont);
    const int cpmFullScale = static_cast<int>(readNumber(kDesignCpmScale.text));
    for (int k = 0; k < kCpmValues.size(); ++k)
        graphLabel(f.lbl[kCpmValues.at(k)], cpmValueText(cpmFullScale, k), {60, 5895 - 600 * k, 600, 225}, Align::Right,
                   kScaleFont);
    const Twips doseTops[] = {5475, 4485, 3480, 2475, 1485, 480};
    for (int k = 0; k < kDoseValues.size(); ++k)
        graphLabel(f.lbl[kDoseValues.at(k)], kDesignDoseScale.valueText(k), {8760, doseTops[k], 600, 225}, Align::Left,
                   kScaleFont);
    graphLabel(f.lbl[kDoseUnit], kMicroSievert, {8760, 135, 720, 225}, Align::Left, kScaleFont);

    // Bars: slot i at x 1020 + 90·i, the peak bar left of slot 0, the "*" over it.
    for (int i : kMinuteBars) f.tgt[i].geometry = {kFirstSlotLeft + kSlotPitch * i, 6420, 75, 0};
    f.tgt[kPeakBar].geometry = {855, 6420, 75, 0};
    for (auto& t : f.tgt) {
        t.visible = false;
        t.caption = "0";
        t.backColour = kGrey;
        t.foreColour = kGrey;
    }
    LabelControl& marker = f.tgt[kPeakMarker];
    marker.caption = "*";
    marker.geometry = {840, 6420, 135, 180};
    marker.align = Align::Centre;
    marker.transparent = true;
    marker.font = {kDesignFont, 9, true};
    marker.foreColour = kBlack;
    // Segment i runs from the middle of slot i to the middle of slot i + 1.
    for (int i = 0; i < kSegments; ++i) {
        const Twips x = kFirstSlotLeft + kSlotPitch * i + kSlotPitch / 2;
        line(f.bar[i], x, kBaseY, x + kSlotPitch, kBaseY, kGrey, false, 2);
        f.bar[i].visible = false;
    }

    // Time axis: nine of the ten labels are shown from the first minute update on.
    for (int k : kTimeLabels) {
        graphLabel(f.tme[k], "00:00", {timeLabelLeft(k, 0), 6840, 480, 225}, Align::Centre, kTimeFont);
        f.tme[k].visible = false;
    }
    f.Image1[kAxisArrow].geometry = {9345, 6518, 180, 165};  // the arrow head at the end of the time axis

    // The two messages: the port search in the middle of the plot, the alarm banner at its top.
    LabelControl& status = f.Label[kStatusMessage];
    graphLabel(status, "COMポート検索中", {1080, 3390, 7200, 420}, Align::Centre, kStatusFont);
    status.foreColour = kRed;
    status.visible = false;
    ShapeControl& box = f.Shape1[kAlarmBox];
    box.geometry = {1080, 45, 7560, 405};
    box.backColour = kRed;
    box.borderColour = kRed;
    box.visible = false;
    LabelControl& banner = f.Label[kAlarmBanner];
    graphLabel(banner, "【警報】 放射線量が設定警報値を超過しました 【警報】", {1140, 120, 7440, 285}, Align::Centre,
               kBannerFont);
    banner.foreColour = kYellow;
    banner.visible = false;
}

void statusPanel(MainForm& f) {
    f.Shape1[kStatusPanel].geometry = {kPanelLeft, 240, kPanelWidth, 1320};
    heading(f.Label[kStatusHeading], "STATUS", 315);
    text(f.Label[kDataLinkCaption], "データ通信", {kIndent, 660, 1080, kTextHeight});
    f.Frame[kDataLinkFrame].geometry = {10860, 600, 1560, 330};
    f.Option1[kReceiveOption] = {"受信", true, true, {10860, 615, 780, 300}};
    f.Option1[kStopOption] = {"停止", false, true, {11640, 615, 780, 300}};

    lamp(f.Label[kRxLamp], 9750, 1020, kLampDarkGreen);
    text(f.Label[kRxLampCaption], "受信", {9990, 990, 540, kTextHeight});
    lamp(f.Label[kTxLamp], 10620, 1020, kLampDarkGreen);
    text(f.Label[kTxLampCaption], "送信", {10860, 990, 540, kTextHeight});
    lamp(f.Label[kErrorLamp], 11490, 1020, kLampDarkRed);
    text(f.Label[kErrorLampCaption], "エラー", {11730, 990, 720, kTextHeight});

    text(f.Label[kTotalCountCaption], "放射線検出数", {kIndent, 1275, 1260, kTextHeight});
    text(f.Label[kTotalCount], "", {10980, 1275, 1395, kTextHeight}, Align::Right);
}

void analysisPanel(MainForm& f) {
    f.Shape1[kAnalysisPanel].geometry = {kPanelLeft, 1680, kPanelWidth, 2640};
    heading(f.Label[kAnalysisHeading], "DATA ANALISYS", 1755);
    text(f.Label[kRealtimeCaption], "リアルタイム値", {kIndent, 2040, 1800, kTextHeight});
    readoutRow(f, kRealtimeRow, 2280);
    text(f.Label[kLastMinuteCaption], "直近１分間統計値", {kIndent, 2610, 2000, kTextHeight});
    statisticRow(f, kAverageCaption, "平均", kAverageRow, 2865);
    statisticRow(f, kMaxCaption, "最大", kMaxRow, 3120);
    statisticRow(f, kMinCaption, "最小", kMinRow, 3375);
    // The running average's heading is too long for the heading column: it has a line of its own.
    text(f.Label[kRunningCaption], "空間平均値", {kIndent, 3705, 1800, kTextHeight});
    readoutRow(f, kRunningRow, 3960);
}

void configurationPanel(MainForm& f) {
    f.Shape1[kConfigurationPanel].geometry = {kPanelLeft, 4440, kPanelWidth, 2250};
    heading(f.Label[kConfigurationHeading], "CONFIGURATION", 4515);
    constexpr Twips kListLeft = 11025;
    constexpr Twips kListWidth = 1380;
    constexpr Twips kListHeight = 330;
    text(f.Label[kCpmScaleCaption], "CPM スケール", {kIndent, 4860, 1275, kTextHeight});
    f.Combo1[kCpmScaleList].geometry = {kListLeft, 4800, kListWidth, kListHeight};
    text(f.Label[kDoseScaleCaption], "線量スケール", {kIndent, 5235, 1275, kTextHeight});
    f.Combo1[kDoseScaleList].geometry = {kListLeft, 5175, kListWidth, kListHeight};
    text(f.Label[kPortCaption], "COM ポート", {kIndent, 5610, 1275, kTextHeight});
    f.Combo1[kPortList].geometry = {kListLeft, 5550, kListWidth, kListHeight};
    f.Combo1[kPortList].text = "Combo1";
    f.Combo1[kPortList].editable = true;

    text(f.Label[kBuzzerCaption], "カウントブザー", {kIndent, 5985, 1275, kTextHeight});
    f.Frame[kBuzzerFrame].geometry = {kListLeft, 5925, kListWidth, 330};
    f.Option2[kBuzzerOnOption] = {"オン", true, true, {kListLeft, 5940, 690, 300}};
    f.Option2[kBuzzerOffOption] = {"オフ", false, true, {kListLeft + 690, 5940, 690, 300}};

    f.cmd[kResetButton].caption = "リセット";
    f.cmd[kResetButton].toolTip = " システムを初期化します ";
    f.cmd[kResetButton].geometry = {9690, 6255, 1290, 375};
    f.cmd[kSettingsButton].caption = "警報設定";
    f.cmd[kSettingsButton].geometry = {11115, 6255, 1290, 375};
}

}  // namespace

MainForm makeMainForm() {
    MainForm f;
    graphArea(f);
    statusPanel(f);
    analysisPanel(f);
    configurationPanel(f);

    // The logo under the right-hand column, with a mouse pointer of its own.
    f.Image1[kLogo].geometry = {10455, 6810, 2070, 225};
    f.Image1[kLogo].ownPointer = true;

    // The notice line: under the time axis, the width of the graph, in the free strip at the foot. It
    // reaches up under the time labels' empty lower edge, so a font with a tall line (Noto Sans CJK)
    // keeps its parentheses inside the window.
    f.notice.geometry = {240, 7035, 9120, 225};
    f.notice.font = {kDesignFont, 8, false};
    f.notice.foreColour = kNoteRed;
    f.notice.transparent = true;
    f.notice.visible = false;
    return f;
}

}  // namespace rx47
