// Which of its three presentations the main window is in: normal, minimised on the task bar, or
// hidden with the notification-area icon. The view shows the model's windowState; these handlers set
// it.
#pragma once

#include "model/main_form.h"
#include "ui/tray.h"  // Form_Resize and the icon's handlers

namespace rx47 {

struct Context;

/// Start-up's choice (its step 13): with `startup` and `tasktray` set the window hides behind the
/// notification-area icon, with `startup` alone it starts minimised, otherwise it opens normally with
/// the splash on top. A hidden window must stay reachable: without a notification area to hold the
/// icon the window starts minimised instead. A setting that cannot be read counts as not set.
void chooseStartWindowMode(Context& ctx);

}  // namespace rx47
