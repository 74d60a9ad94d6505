// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The splash window `opening`: borderless, without caption bar, above every other window, centred on
// the screen and filled by the splash picture.
#pragma once

#include <QWidget>

namespace rx47 {

class SplashWindow : public QWidget {
public:
    SplashWindow();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace rx47
