// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The program's pictures, drawn in code at the size they are shown: the splash picture, the logo,
// the arrow head at the end of the time axis, the window and notification-area icon and the logo's
// mouse pointer. The motif is the radiation trefoil over a small bar graph.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace rx47 {

/// The splash picture `opening` is filled with (4620 × 1845 twips).
QPixmap splashPicture(QSize size);
/// The logo Image1(0) under the right-hand column (2070 × 225 twips).
QPixmap logoPicture(QSize size);
/// The small picture Image1(1) at the right end of the time axis (180 × 165 twips).
QPixmap axisArrowPicture(QSize size);
/// The icon of the windows and of the notification area.
QIcon programIcon();
/// One size of that icon, `side` pixels square (also what the desktop's menu shows).
QPixmap programIconPicture(int side);
/// The mouse pointer shown over the logo.
QCursor logoCursor();

}  // namespace rx47
