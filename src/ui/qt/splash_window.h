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
