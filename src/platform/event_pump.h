// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Serving the program's events while a handler waits (the alarm sound waits for its end this way):
// timer ticks, clicks and serial data are handled inside the wait.
//
// Contract: processEvents() serves what is pending and returns; with nothing pending it waits for the
// next event, but never much longer than `maxWait`, so a caller looping until its own deadline on
// now() neither spins nor sleeps past it. now() is a steady clock: it never goes back and is not
// moved by changes of the time of day.
#pragma once

#include <chrono>

namespace rx47 {

class EventPump {
public:
    virtual ~EventPump() = default;
    /// Handles pending events, waiting up to `maxWait` for one to arrive.
    virtual void processEvents(std::chrono::milliseconds maxWait) = 0;
    /// A steady clock for watchdogs, in milliseconds since some fixed moment.
    virtual std::chrono::milliseconds now() const = 0;
};

}  // namespace rx47
