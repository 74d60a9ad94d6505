#include "setup/qt/setup_dialog.h"

namespace rx47 {

// Not built yet.
void runSetupDialog(Context&, QWidget*) {}

}  // namespace rx47
