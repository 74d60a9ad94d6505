// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/qt_timer_array.h"

#include "platform/qt/qt_log_sink.h"

namespace rx47 {

QtTimerArray::QtTimerArray(std::span<const int> indices, QObject* parent) : QObject(parent) {
    for (const int index : indices) {
        auto* t = new QTimer(this);
        t->setTimerType(Qt::PreciseTimer);
        t->setSingleShot(false);
        connect(t, &QTimer::timeout, this, [this, index] {
            // Nothing may escape into the event loop; the core's handlers skip their own failures.
            try {
                if (handler_) handler_(index);
            } catch (...) {
                logEscaped(log_, LogCategory::Program, "a timer's tick handler");
            }
        });
        timers_[index] = t;
    }
}

QTimer* QtTimerArray::timer(int index) const {
    const auto it = timers_.find(index);
    return it == timers_.end() ? nullptr : it->second;
}

void QtTimerArray::setInterval(int index, int milliseconds) {
    if (QTimer* t = timer(index)) t->setInterval(milliseconds);
}

void QtTimerArray::start(int index) {
    // A running timer keeps its rhythm: restarting it would let a stream of data postpone the
    // intake for ever.
    if (QTimer* t = timer(index); t && !t->isActive()) t->start();
}

void QtTimerArray::stop(int index) {
    if (QTimer* t = timer(index)) t->stop();
}

bool QtTimerArray::isRunning(int index) const {
    const QTimer* t = timer(index);
    return t && t->isActive();
}

void QtTimerArray::setSingleShot(int index, bool singleShot) {
    if (QTimer* t = timer(index)) t->setSingleShot(singleShot);
}

void QtTimerArray::setCoarse(int index, bool coarse) {
    if (QTimer* t = timer(index)) t->setTimerType(coarse ? Qt::CoarseTimer : Qt::PreciseTimer);
}

void QtTimerArray::setTickHandler(TickHandler handler) {
    handler_ = std::move(handler);
}

}  // namespace rx47
