// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Serving the program's events while a handler waits, on Qt's event loop.
#pragma once

#include <chrono>

#include "platform/event_pump.h"

namespace rx47 {

class QtEventPump : public EventPump {
public:
    QtEventPump() = default;
    QtEventPump(const QtEventPump&) = delete;
    QtEventPump& operator=(const QtEventPump&) = delete;

    /// Handles the pending events; with none pending, sleeps until one arrives or `maxWait` has
    /// passed, so a waiting caller neither spins nor oversleeps its watchdog.
    void processEvents(std::chrono::milliseconds maxWait) override;
    /// The steady clock: never moved by changes of the time of day.
    std::chrono::milliseconds now() const override;
};

}  // namespace rx47
