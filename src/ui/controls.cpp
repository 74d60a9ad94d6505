#include "ui/controls.h"

namespace rx47 {

// Not built yet: the controls do nothing.
void cmd_Click(Context&, int) {}
void Option1_Click(Context&, int) {}
void Option2_Click(Context&, int) {}
void cmd_MouseMove(Context&, int) {}
void Form_MouseMove(Context&) {}

}  // namespace rx47
