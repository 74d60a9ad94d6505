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

// Lamps and their colours.
inline constexpr int kRxLamp = 4;
inline constexpr int kTxLamp = 29;
inline constexpr int kErrorLamp = 26;
inline constexpr Colour kLampGreen = rgb(0x00, 0xFF, 0x00);
inline constexpr Colour kLampDarkGreen = rgb(0x00, 0x80, 0x00);
inline constexpr Colour kLampRed = rgb(0xFF, 0x00, 0x00);
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
inline constexpr int kStatusMessage = 37;
inline constexpr int kAlarmBanner = 42;

inline constexpr int kAlarmLine = 7;  ///< lne(7), the CPM alarm-level line

}  // namespace rx47
