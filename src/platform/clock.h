// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The local clock: date and time of day. Time is an input of the core; tests set it by hand.
//
// Contract: now() is the local wall-clock time (the machine's time zone, summer time included), every
// field a real calendar value in its range. It may jump (the user sets the clock); measuring spans is
// the event pump's steady clock.
#pragma once

namespace rx47 {

struct LocalDateTime {
    int year = 2000;
    int month = 1;   ///< 1…12
    int day = 1;     ///< 1…31
    int hour = 0;    ///< 0…23
    int minute = 0;  ///< 0…59
    int second = 0;  ///< 0…59
};

class Clock {
public:
    virtual ~Clock() = default;
    /// The local date and time of day, to the second.
    virtual LocalDateTime now() const = 0;
};

}  // namespace rx47
