// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-make-icons OUT_FOLDER NAME
//
// Draws the program's icon, the same picture the windows and the notification area show, into the
// desktop's icon theme layout: OUT_FOLDER/hicolor/<n>x<n>/apps/NAME.png for every size a menu or a
// launcher asks for.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "ui/qt/pictures.h"

int main(int argc, char* argv[]) {
    // Drawing needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: rx47-make-icons OUT_FOLDER NAME\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(side);
        const QString file = folder + '/' + name + QStringLiteral(".png");
        if (!QDir().mkpath(folder) || !rx47::programIconPicture(side).save(file, "PNG")) {
            std::fprintf(stderr, "rx47-make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
