// The operator's controls of the main window: the command buttons cmd(0) (reset, re-search or
// acknowledgement) and cmd(1) (settings), the data-link pair Option1 and the buzzer pair Option2,
// and the hover highlight of the buttons.
#pragma once

namespace rx47 {

struct Context;

void cmd_Click(Context& ctx, int index);
void Option1_Click(Context& ctx, int index);
void Option2_Click(Context& ctx, int index);
/// The mouse moved over cmd(index).
void cmd_MouseMove(Context& ctx, int index);
/// The mouse moved over the main window's free area.
void Form_MouseMove(Context& ctx);

}  // namespace rx47
