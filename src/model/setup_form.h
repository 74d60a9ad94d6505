// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The presentation model of the settings dialog `setup`: one record per control, in the control
// arrays' own indices. The dialog keeps no copy of the settings; its handlers (setup/) read and write
// the settings row and change this model, and the view renders it.
#pragma once

#include <array>
#include <string>

#include "model/controls.h"

namespace rx47 {

/// The system's button face, the sound-test button's colour when the pointer is not over it.
inline constexpr Colour kButtonFace = rgb(0xEC, 0xE9, 0xD8);
/// The sound-test button's colour while the pointer is over it.
inline constexpr Colour kSoundTestHover = kHoverGrey;
/// The grey of a caption whose control is switched off.
inline constexpr Colour kGreyText = kGrey;

/// A two-state check box.
struct CheckBoxControl {
    std::string caption;
    bool value = false;  ///< checked
    bool visible = true;
    bool enabled = true;
    Geometry geometry;

    bool operator==(const CheckBoxControl&) const = default;
};

/// A one-line text box. The selection counts characters (not bytes) from the start of the text.
struct TextBoxControl {
    std::string text;
    bool visible = true;
    bool enabled = true;
    Colour backColour = kWhite;
    Colour foreColour = kBlack;
    int selStart = 0;
    int selLength = 0;
    Geometry geometry;

    bool operator==(const TextBoxControl&) const = default;
};

struct SetupForm {
    std::string caption;
    Twips clientWidth = 5910;
    Twips clientHeight = 5475;
    /// Client area plus the fixed single border on both sides.
    Twips outerWidth = 5910 + 2 * 45;
    Font font{kDesignFont, 9, false};

    std::array<CheckBoxControl, 10> Check1;  ///< the option boxes, each mirroring a yes/no column
    std::array<TextBoxControl, 3> txt;       ///< dose alarm level (0), CPM alarm level (1), gamma coefficient (2)
    std::array<LabelControl, 11> Label1;     ///< captions, the swatches 4, 6 and 7, the note lines 5 and 10
    ButtonControl cmd;                       ///< the sound test
    std::array<ShapeControl, 2> Shape1;      ///< frames of the alarm block (0) and the recording block (1)

    /// The sound-test button is drawn highlighted.
    bool soundTestHover = false;
    /// The text box a rejection gave the focus to (-1: none yet), and how many times the focus was
    /// given, so that the view moves the focus once per rejection and not at every repaint.
    int focusedText = -1;
    int focusMoves = 0;

    bool operator==(const SetupForm&) const = default;
};

// Roles of the controls.
// Check1: the alarm master switch and the boxes it governs, the window's boxes, the recording boxes.
inline constexpr int kWarningBox = 0;
inline constexpr int kFlashBox = 1;
inline constexpr int kSoundBox = 2;
inline constexpr int kPopupBox = 3;
inline constexpr int kTrayBox = 4;
inline constexpr int kAlarmLineBox = 5;
inline constexpr int kStartMinimisedBox = 6;
inline constexpr int kRecordBox = 7;
inline constexpr int kMasterRecordBox = 8;
inline constexpr int kDailyRecordBox = 9;
// txt.
inline constexpr int kDoseLevelText = 0;
inline constexpr int kCpmLevelText = 1;
inline constexpr int kGammaText = 2;
// Label1: the swatches, the note lines and the captions.
inline constexpr int kBarColourSwatch = 4;
inline constexpr int kAlarmLineColourSwatch = 6;
inline constexpr int kDoseColourSwatch = 7;
inline constexpr int kNoteLine1 = 5;
inline constexpr int kNoteLine2 = 10;
inline constexpr int kCpmLevelCaption = 2;   ///< "CPM または", after the CPM level
inline constexpr int kDoseLevelCaption = 8;  ///< after the dose level
inline constexpr int kAlarmActionsCaption = 1;
inline constexpr int kBarColourCaption = 3;
inline constexpr int kDoseColourCaption = 0;
inline constexpr int kGammaCaption = 9;
// Shape1.
inline constexpr int kAlarmFrame = 0;
inline constexpr int kRecordFrame = 1;

/// Whether Label1(index) is a colour swatch (a bordered label that opens the colour picker).
constexpr bool isSwatch(int index) {
    return index == kBarColourSwatch || index == kAlarmLineColourSwatch || index == kDoseColourSwatch;
}

}  // namespace rx47
