// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The settings dialog `setup`: its design, its load and its event handlers. Every handler works on
// the dialog's model and on the dialog's view of the program (SetupContext: settings row,
// main-window model, monitor values, port and timers, desktop); the view forwards each user event to
// one of them and renders the model again. No handler lets a failure escape.
#pragma once

#include <string>
#include <string_view>

#include "display/graph_colours.h"
#include "model/setup_form.h"
#include "storage/settings_columns.h"

namespace rx47 {

struct SetupContext;
struct SoundContext;

namespace setup {

/// Reasons for a close request: the close box, the system menu or the keyboard's close command (0);
/// the desktop session ending (2). Any reason but 0 closes the dialog without looking at its text
/// boxes, and what was typed into them is lost.
inline constexpr int kCloseFromControlMenu = 0;
inline constexpr int kCloseBySystem = 2;

/// The dialog as designed, before its load fills it from the settings.
SetupForm makeSetupForm();

/// Fills the dialog from the settings row and the monitor values. A step that fails (typically a
/// settings file that predates the recording columns) puts the note about the old file in place of
/// the recording boxes, and the load goes on with the next step.
void Form_Load(SetupContext ctx, SetupForm& form);

/// Sets the state of check box `index`; a change of state counts as a click (Check1_Click runs).
/// The view forwards the user's clicks through here, and the load checks its boxes with it.
void setCheck(SetupContext ctx, SetupForm& form, int index, bool checked);

/// A click on check box `index` (its new state is already in the model): the box's column takes its
/// state, the box's further effect follows, and the settings row is committed, each step alone.
void Check1_Click(SetupContext ctx, SetupForm& form, int index);
/// The yes/no column of the settings row that check box `index` mirrors.
FlagColumn boxColumn(int index);
/// Enables the controls the alarm box governs, or disables them and greys their captions.
void applyAlarmGroup(SetupForm& form, bool on);

/// A click on Label1(index). The swatches 4, 6 and 7 open the colour picker and apply the colour to
/// the swatch, their column and the main window's graph; other labels do nothing.
void Label1_Click(SetupContext ctx, SetupForm& form, int index);
/// The graph colour swatch `index` shows and sets.
GraphColour swatchColour(int index);

/// The user changed the text of txt(index).
void txt_Change(SetupForm& form, int index, std::string text);

/// The sound test: plays the alarm sound to its end. It takes the sound's own view: the player and
/// the event pump are for it alone, no other handler of the dialog touches them.
void cmd_Click(SoundContext ctx, SetupForm& form);
/// The pointer moved over the sound-test button / over the dialog's background.
void cmd_MouseMove(SetupForm& form);
void Form_MouseMove(SetupForm& form);

/// A request to close the dialog. For a close from the close box the three text boxes are checked
/// and applied; returns true when the dialog must stay open (a box was rejected).
bool Form_QueryUnload(SetupContext ctx, SetupForm& form, int reason);

/// Digits 0-9 and at most one ".", nothing else ("" and "." included).
bool isDecimalText(std::string_view text);

}  // namespace setup
}  // namespace rx47
