// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace rx47 {

void QtEventPump::processEvents(std::chrono::milliseconds maxWait) {
    // processEvents() alone returns at once when nothing is pending, and a caller's wait would spin;
    // waiting for more events alone could sleep for ever. The wake-up timer is the event that comes
    // at the latest after maxWait.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(maxWait.count(), 0, 60000)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

std::chrono::milliseconds QtEventPump::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace rx47
