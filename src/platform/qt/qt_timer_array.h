// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer array on QTimer: one timer per index, precise until made coarse. QTimer::start() restarts an active timer,
// so start() starts only a stopped one; QTimer::setInterval() restarts an active one, as the array's
// contract says a new interval does.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <span>

#include "platform/timer_array.h"

namespace rx47 {

class FailureLog;

class QtTimerArray : public QObject, public TimerArray {
    Q_OBJECT
public:
    /// An array of the timers with these indices.
    explicit QtTimerArray(std::span<const int> indices, QObject* parent = nullptr);
    QtTimerArray(const QtTimerArray&) = delete;
    QtTimerArray& operator=(const QtTimerArray&) = delete;

    void setInterval(int index, int milliseconds) override;
    void start(int index) override;
    void stop(int index) override;
    bool isRunning(int index) const override;
    void setSingleShot(int index, bool singleShot) override;
    void setCoarse(int index, bool coarse) override;
    void setTickHandler(TickHandler handler) override;
    /// Where a failure that escapes the tick handler is logged.
    void setLog(FailureLog* log) { log_ = log; }

private:
    QTimer* timer(int index) const;

    std::map<int, QTimer*> timers_;
    TickHandler handler_;
    FailureLog* log_ = nullptr;
};

}  // namespace rx47
