// The settings dialog's view.
#pragma once

class QWidget;

namespace rx47 {

struct Context;

/// Builds the settings dialog afresh, shows it modally over `parent` and discards it when closed.
void runSetupDialog(Context& ctx, QWidget* parent);

}  // namespace rx47
