// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Qt's own texts (the colour picker, the message box buttons) in Japanese, as the rest of the
// window is, whatever the desktop's language.
#pragma once

#include <QString>

namespace rx47 {

class FailureLog;

/// Installs Qt's Japanese translation ("qtbase_ja.qm") from `folder`, by default Qt's own
/// translations folder. Without it Qt's dialogs stay in English: logged once, and the program runs
/// on. Returns whether it was installed. Needs the application object.
bool installQtTranslations(FailureLog& log, const QString& folder = {});

}  // namespace rx47
