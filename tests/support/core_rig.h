// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The monitor core wired as main() wires it, but over the fakes: an in-memory port, virtual timers
// and a clock that follows them, a recording desktop and a scripted sound, with the real settings
// file and the real record files in a temporary program folder. For runs through long stretches of
// virtual time (the soak, the fuzzing of the intake).
#pragma once

#include <string>

#include "support/fakes.h"
#include "support/program_folder.h"

namespace rx47::test {

/// A clock that follows the virtual timers: the start time plus the virtual time gone by.
class FollowingClock : public Clock {
public:
    explicit FollowingClock(const VirtualTimerArray& timers, const LocalDateTime& start = {});
    LocalDateTime now() const override;
    /// Moves the start, so that now() reads `t` at this moment of virtual time.
    void set(const LocalDateTime& t);

private:
    const VirtualTimerArray& timers_;
    long long startSeconds_ = 0;  ///< the start as seconds of the proleptic calendar (no time zones)
    long startMilliseconds_ = 0;  ///< the virtual time at which the start was set
};

/// The outside world of the long runs: the fakes, with a clock that follows the timers.
struct FollowingParts : Fakes {
    using Clock = FollowingClock;
};

struct CoreRig : Rig<FollowingParts> {
    explicit CoreRig(const LocalDateTime& start,
                     TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied);

    /// The start-up as the program runs it: the load handler, the splash delay, the activation.
    void start();
    /// The device sends bytes: the port's data-received event follows.
    void deliver(const std::string& bytes) { port.deliver(bytes); }
    void advance(long milliseconds) { timers.advance(milliseconds); }
    /// The program ends as it does when its window is closed.
    void shutDown();
};

}  // namespace rx47::test
