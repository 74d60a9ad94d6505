// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// An array of timers by index; its owner says which indices it has when it makes one (the program's
// set is model/timers.h). A timer is periodic (once
// started it ticks at its interval until it is stopped) unless it is made single-shot: then it ticks
// once, one interval after its start, and is stopped from then on. A timer is precise unless it is
// made coarse: a coarse tick may come a few percent of its interval late or early so that timers
// share the program's wake-ups; what the user sees blink stays precise. The core never starts a
// clock of its own.
//
// Contract (held by the Qt adapter and by the virtual-time double, checked by tests/contract):
// - Ticks come from the event loop (or the double's advance()), never inside a call of the array.
// - An index the array does not have is ignored by every call and never runs.
// - A started timer first ticks one interval after the start, then once per interval until it is
//   stopped. Once stopped, also from inside its own tick, it ticks no more.
// - Starting a running timer changes nothing: it keeps its rhythm, so a stream of data that starts
//   the intake again and again cannot postpone the intake's tick.
// - A failure that escapes the tick handler ends that tick only; the timer goes on.
#pragma once

#include <functional>

namespace rx47 {

class TimerArray {
public:
    using TickHandler = std::function<void(int index)>;

    virtual ~TimerArray() = default;
    /// Sets a timer's interval in milliseconds. A stopped timer keeps it for its next start; a
    /// running timer starts its period afresh: its next tick comes one new interval after this call.
    virtual void setInterval(int index, int milliseconds) = 0;
    /// Starts a stopped timer: its first tick comes one interval later. Starting a running timer
    /// leaves it as it is (its next tick does not move).
    virtual void start(int index) = 0;
    /// Stops a timer; stopping a stopped one does nothing.
    virtual void stop(int index) = 0;
    virtual bool isRunning(int index) const = 0;
    /// Makes a timer single-shot (it stops itself before its tick) or periodic again; every timer
    /// starts periodic. Takes effect at the timer's next start.
    virtual void setSingleShot(int index, bool singleShot) = 0;
    /// Lets a timer's ticks move by a few percent of its interval to share wake-ups with other
    /// timers (coarse), or keeps them on the millisecond (precise, as every timer starts).
    virtual void setCoarse(int index, bool coarse) = 0;
    /// The one handler for every tick, called with the index of the timer that fired.
    virtual void setTickHandler(TickHandler handler) = 0;
};

}  // namespace rx47
