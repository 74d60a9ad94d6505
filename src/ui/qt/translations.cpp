// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "base/log.h"

namespace rx47 {

bool installQtTranslations(FailureLog& log, const QString& folder) {
    const QString where = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    // Japanese for every locale: the window's own captions are Japanese on any desktop, and Qt's
    // dialogs should not answer them in another language.
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          where)) {
        delete translator;
        log.warn(LogCategory::Program, "Qt's Japanese translation (qtbase_ja.qm) is not in " + where.toStdString() +
                                           "; Qt's dialogs show English texts (Debian package qt6-translations-l10n)");
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

}  // namespace rx47
