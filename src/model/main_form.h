// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The presentation model of the main window: one record per control, in the control arrays' own
// indices. Handlers change it; the view renders it and forwards events. The captions of the readout
// labels are the program's store of the current figures (records, tool tips and alarms read them
// back as text).
#pragma once

#include <array>
#include <string>

#include "model/controls.h"

namespace rx47 {

enum class WindowState { Normal, Minimised, Hidden };

struct MainForm {
    std::string caption = " RX47 monitor";
    WindowState windowState = WindowState::Normal;
    Twips clientWidth = 12780;  ///< the client area, 852 × 484 pixels at 96 dpi
    Twips clientHeight = 7260;
    Colour backColour = kWhite;
    Font font{kDesignFont, 9, false};  ///< for every control whose own font has no name

    std::array<LabelControl, 44> Label;    ///< captions, readouts, lamps, messages
    std::array<LabelControl, 83> tgt;      ///< per-minute bars 0…80, peak bar 81, peak-dose marker 82
    std::array<LineControl, 80> bar;       ///< dose polyline segments
    std::array<LineControl, 13> lne;       ///< axes, grid lines, CPM alarm line (7)
    std::array<LabelControl, 18> lbl;      ///< axis titles and scale values
    std::array<LabelControl, 10> tme;      ///< time-axis labels
    std::array<ButtonControl, 2> cmd;      ///< reset / re-search / acknowledge (0), settings (1)
    std::array<OptionControl, 2> Option1;  ///< data link: receive (0), stop (1)
    std::array<OptionControl, 2> Option2;  ///< count buzzer: on (0), off (1)
    std::array<FrameControl, 2> Frame;     ///< the frames of Option1 (0) and Option2 (1)
    std::array<ComboControl, 3> Combo1;    ///< CPM scale (0), serial port (1), dose scale (2)
    std::array<ShapeControl, 5> Shape1;    ///< panel frames 0, 1, 4; alarm banner box 2
    std::array<ImageControl, 2> Image1;    ///< logo (0), small picture at the end of the time axis (1)

    /// A line at the foot of the window for what the user must act on (a port refused for lack of
    /// permission, records that cannot be written); not one of the designed controls.
    LabelControl notice;

    bool operator==(const MainForm&) const = default;
};

/// The main window as designed, before start-up puts the settings into it.
MainForm makeMainForm();

/// A run of indexes of one control array, first…last, both included, to loop over:
/// `for (int i : graph::kCpmGrid)`.
struct InclusiveRange {
    int first;
    int last;

    struct Iterator {
        int index;
        constexpr int operator*() const { return index; }
        constexpr Iterator& operator++() {
            ++index;
            return *this;
        }
        constexpr bool operator==(const Iterator&) const = default;
    };
    constexpr Iterator begin() const { return {first}; }
    constexpr Iterator end() const { return {last + 1}; }
    constexpr int size() const { return last - first + 1; }
    /// The index `k` places after the first.
    constexpr int at(int k) const { return first + k; }
    constexpr bool contains(int index) const { return index >= first && index <= last; }
};

// The roles of the controls: every handler and view names a control by its role.

// Lamps and their colours.
inline constexpr int kRxLamp = 4;
inline constexpr int kTxLamp = 29;
inline constexpr int kErrorLamp = 26;
inline constexpr Colour kLampGreen = rgb(0x00, 0xFF, 0x00);
inline constexpr Colour kLampDarkGreen = rgb(0x00, 0x80, 0x00);
inline constexpr Colour kLampRed = kRed;
inline constexpr Colour kLampDarkRed = rgb(0x80, 0x00, 0x00);

// Readout labels (value captions).
inline constexpr int kRealtimeCpm = 0;
inline constexpr int kRealtimeDose = 33;
inline constexpr int kAverageCpm = 11;
inline constexpr int kAverageDose = 13;
inline constexpr int kMaxCpm = 12;
inline constexpr int kMaxDose = 14;
inline constexpr int kMinCpm = 16;
inline constexpr int kMinDose = 17;
inline constexpr int kRunningCpm = 19;
inline constexpr int kRunningDose = 23;
inline constexpr int kTotalCount = 21;
/// The two messages over the graph, drawn after everything else.
inline constexpr int kStatusMessage = 37;
inline constexpr int kAlarmBanner = 42;

/// A row of figures in the analysis panel: a CPM readout and a dose readout, each with its unit.
struct ReadoutRow {
    int cpm;
    int cpmUnit;
    int dose;
    int doseUnit;
};
inline constexpr ReadoutRow kRealtimeRow{kRealtimeCpm, 31, kRealtimeDose, 32};
inline constexpr ReadoutRow kAverageRow{kAverageCpm, 38, kAverageDose, 41};
inline constexpr ReadoutRow kMaxRow{kMaxCpm, 39, kMaxDose, 8};
inline constexpr ReadoutRow kMinRow{kMinCpm, 40, kMinDose, 25};
inline constexpr ReadoutRow kRunningRow{kRunningCpm, 30, kRunningDose, 24};

// Fixed captions: the panels' headings and the texts beside their controls, panel by panel.
inline constexpr int kStatusHeading = 34;
inline constexpr int kDataLinkCaption = 6;
inline constexpr int kRxLampCaption = 27;
inline constexpr int kTxLampCaption = 3;
inline constexpr int kErrorLampCaption = 28;
inline constexpr int kTotalCountCaption = 20;
inline constexpr int kAnalysisHeading = 35;
inline constexpr int kRealtimeCaption = 1;
inline constexpr int kLastMinuteCaption = 9;
inline constexpr int kAverageCaption = 18;
inline constexpr int kMaxCaption = 10;
inline constexpr int kMinCaption = 15;
inline constexpr int kRunningCaption = 5;
inline constexpr int kConfigurationHeading = 36;
inline constexpr int kCpmScaleCaption = 22;
inline constexpr int kDoseScaleCaption = 43;
inline constexpr int kPortCaption = 2;
inline constexpr int kBuzzerCaption = 7;

// Shape1: the panels of the right-hand column, top to bottom (the order they are drawn in), and the
// red box behind the alarm banner.
inline constexpr int kStatusPanel = 0;
inline constexpr int kConfigurationPanel = 1;
inline constexpr int kAlarmBox = 2;
inline constexpr int kAnalysisPanel = 4;
inline constexpr int kPanels[] = {kStatusPanel, kAnalysisPanel, kConfigurationPanel};

// Image1.
inline constexpr int kLogo = 0;
inline constexpr int kAxisArrow = 1;  ///< the arrow head at the right end of the time axis

// Combo1.
inline constexpr int kCpmScaleList = 0;
inline constexpr int kPortList = 1;  ///< the ports that opened
inline constexpr int kDoseScaleList = 2;

// cmd, and the option pairs Option1 (data link) and Option2 (count buzzer).
inline constexpr int kResetButton = 0;  ///< also re-search and acknowledge
inline constexpr int kSettingsButton = 1;
inline constexpr int kReceiveOption = 0;
inline constexpr int kStopOption = 1;
inline constexpr int kBuzzerOnOption = 0;
inline constexpr int kBuzzerOffOption = 1;
// Frame: the frames that hold the option pairs.
inline constexpr int kDataLinkFrame = 0;
inline constexpr int kBuzzerFrame = 1;

inline constexpr int kAlarmLine = 7;  ///< lne(7), the CPM alarm-level line

/// The trend graph: its controls by role, and its geometry in twips.
namespace graph {
// tgt: the per-minute bars (newest at the right), the peak bar and the "*" marker over it.
inline constexpr InclusiveRange kMinuteBars{0, 80};
inline constexpr int kSlots = kMinuteBars.size();
inline constexpr int kNewest = kMinuteBars.last;
inline constexpr int kPeakBar = 81;
inline constexpr int kPeakMarker = 82;
/// Every bar: the minute bars and the peak bar.
inline constexpr InclusiveRange kBars{kMinuteBars.first, kPeakBar};
// bar: the dose polyline, segment i joining minute bars i and i + 1.
inline constexpr int kSegments = 80;
// lne: the two axes, the CPM grid (its top line at full scale included), the alarm line and the dose grid.
inline constexpr int kCpmAxis = 0;   ///< the vertical axis
inline constexpr int kTimeAxis = 1;  ///< the horizontal axis, on the base line
inline constexpr InclusiveRange kCpmGrid{2, 6};
inline constexpr InclusiveRange kDoseGrid{8, 12};
// lbl: the CPM scale (title and ten values, bottom up) and the dose scale (six values, bottom up, and
// the unit).
inline constexpr int kCpmTitle = 0;
inline constexpr InclusiveRange kCpmValues{1, 10};
inline constexpr InclusiveRange kDoseValues{11, 16};
inline constexpr int kDoseUnit = 17;
inline constexpr InclusiveRange kCpmScaleTexts{kCpmTitle, kCpmValues.last};
inline constexpr InclusiveRange kDoseScaleTexts{kDoseValues.first, kDoseUnit};
// tme: ten time labels; the first and the last take turns, the ones between are always shown.
inline constexpr InclusiveRange kTimeLabels{0, 9};
inline constexpr InclusiveRange kInnerTimeLabels{1, 8};

inline constexpr Twips kBaseY = 6600;  ///< value 0, the time axis
inline constexpr Twips kTopY = 600;    ///< full scale
inline constexpr Twips kFullHeight = kBaseY - kTopY;
inline constexpr Twips kSlotPitch = 90;  ///< one minute along the time axis
inline constexpr Twips kFirstSlotLeft = 1020;
/// The left edge of time label k at a whole ten minutes; `minutesPast` later it has moved left.
constexpr Twips timeLabelLeft(int k, int minutesPast) {
    return 840 + 10 * kSlotPitch * k - kSlotPitch * minutesPast;
}
/// A first time label further left than this would stand on the CPM scale: the last one shows instead.
inline constexpr Twips kTimeLabelsFrom = 480;
}  // namespace graph

}  // namespace rx47
