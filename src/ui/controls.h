// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The operator's controls of the main window: the command buttons cmd(0) (reset, re-search or
// acknowledgement) and cmd(1) (settings), the data-link pair Option1 and the buzzer pair Option2,
// the three lists Combo1, and the hover highlight of the buttons.
//
// The view forwards each user event to one of these handlers and then renders the model again. An
// index outside 0…1 does nothing. A serial or settings step that fails inside a click is skipped,
// as in the timer ticks.
#pragma once

#include <string>

namespace rx47 {

struct Context;
struct UiContext;

/// Window captions: data flowing, and data stopped by "停止".
inline constexpr const char* kNormalCaption = " RX47 monitor";
inline constexpr const char* kStoppedCaption = " RX47 monitor 【データ通信停止】";
/// hoverButton when the pointer is over no button.
inline constexpr int kNoHoverButton = 9;

/// cmd(0): port re-search while the device is not heard (the link not Linked), else acknowledgement while
/// an alarm is shown (alarmShown), else the reset of the statistics, the graph and the device's
/// total count. cmd(1): the settings dialog, modally. Either button clears both alarm hit counters.
void cmd_Click(Context& ctx, int index);

/// Option1(0) "受信" resumes the device's data ("go"), Option1(1) "停止" stops it ("stop").
/// The handler itself selects the clicked option in the model (its value true, the other's false),
/// even while isLoading, so the model always mirrors what the user clicked; everything else
/// waits until loading is over. The view sets no option values of its own and syncs from the model.
void Option1_Click(UiContext ctx, int index);

/// Option2(0) "オン" / Option2(1) "オフ": the device's count buzzer ("set snd=on|off", column
/// `buzzer`), followed by the device-save delay. Selects the clicked option in the model first, as
/// Option1_Click does, and does nothing else while isLoading.
void Option2_Click(UiContext ctx, int index);

/// The user picked entry `entry` of Combo1(index): it becomes the list's choice and text, then
/// Combo1_Click applies it (a scale). An entry outside the list picks nothing.
void Combo1_Pick(UiContext ctx, int index, int entry);
/// The user edited the text of an editable Combo1(index) (the port list): the model takes the text
/// as it stands; nothing else follows until a port is opened from it. A list that cannot be edited
/// takes no text.
void Combo1_Change(UiContext ctx, int index, std::string text);

/// The mouse moved over cmd(index): that button turns light grey, the other white.
void cmd_MouseMove(UiContext ctx, int index);
/// The mouse moved over the main window's free area: both buttons white again.
void Form_MouseMove(UiContext ctx);

}  // namespace rx47
