// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The timer array's contract (platform/timer_array.h), held alike by the virtual-time double the core's
// tests run on and by the Qt timers on a real event loop. Waits are for ticks, with generous bounds;
// nothing is asserted about speed.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <stdexcept>

#include "platform/qt/qt_timer_array.h"
#include "support/fakes.h"
#include "support/qt_events.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

/// Time passes by advance(), a millisecond at a time.
struct VirtualRig {
    static constexpr const char* kName = "Virtual";
    test::VirtualTimerArray timers;
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        for (long passed = 0; passed < limit.count() && !done(); ++passed) timers.advance(1);
        return done();
    }
};

/// Time passes on the wall clock, in the event loop.
struct QtRig {
    static constexpr const char* kName = "Qt";
    QtTimerArray timers{timer::kAll};
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        return test::runEventsUntil(done, limit);
    }
};

template <class Rig>
struct TimerArrayContract : ::testing::Test {
    Rig rig;
    TimerArray& timers = rig.timers;
    std::map<int, int> ticks;  ///< by index

    TimerArrayContract() {
        timers.setTickHandler([this](int index) { ++ticks[index]; });
    }
    /// Lets `index` tick `count` times more (a timer of the test's own, to wait without sleeping).
    bool waitForTicks(int index, int count) {
        const int target = ticks[index] + count;
        return rig.runUntil([&] { return ticks[index] >= target; }, 10s);
    }
};

using Rigs = ::testing::Types<VirtualRig, QtRig>;
TYPED_TEST_SUITE(TimerArrayContract, Rigs, test::RigNames);

TYPED_TEST(TimerArrayContract, AStartedTimerTicksWithItsIndexUntilStoppedEvenFromItsOwnTick) {
    TimerArray& timers = this->timers;
    timers.setInterval(3, 20);
    EXPECT_FALSE(timers.isRunning(3));
    timers.setTickHandler([&](int index) {
        if (++this->ticks[index] == 3 && index == 3) timers.stop(index);
    });
    timers.start(3);
    EXPECT_TRUE(timers.isRunning(3));
    EXPECT_EQ(this->ticks[3], 0) << "ticked inside start()";
    ASSERT_TRUE(this->rig.runUntil([&] { return this->ticks[3] == 3; }, 10s));
    EXPECT_FALSE(timers.isRunning(3));

    timers.setInterval(4, 20);
    timers.start(4);
    ASSERT_TRUE(this->waitForTicks(4, 5));
    EXPECT_EQ(this->ticks[3], 3) << "ticked after it was stopped";
    timers.stop(4);
    timers.stop(4);  // a stopped timer stays stopped
    EXPECT_FALSE(timers.isRunning(4));
}

TYPED_TEST(TimerArrayContract, RestartingARunningTimerKeepsItsRhythm) {
    // A stream of data starts the intake again every few milliseconds; the intake still ticks.
    TimerArray& timers = this->timers;
    timers.setInterval(2, 10);
    timers.setInterval(3, 200);
    timers.setTickHandler([&](int index) {
        ++this->ticks[index];
        if (index == 2) timers.start(3);
    });
    timers.start(2);
    timers.start(3);
    ASSERT_TRUE(this->rig.runUntil([&] { return this->ticks[3] >= 2; }, 10s))
        << "the intake ticked " << this->ticks[3] << " times under " << this->ticks[2] << " restarts";
    EXPECT_TRUE(timers.isRunning(3));
}

TYPED_TEST(TimerArrayContract, ANewIntervalStartsARunningTimersPeriodAfresh) {
    TimerArray& timers = this->timers;
    timers.setInterval(10, 60000);
    timers.start(10);
    timers.setInterval(10, 20);  // the minute it was waiting for is forgotten
    EXPECT_TRUE(timers.isRunning(10));
    EXPECT_TRUE(this->waitForTicks(10, 2));

    // A stopped timer keeps a new interval for its next start.
    timers.stop(10);
    timers.setInterval(10, 60000);
    EXPECT_FALSE(timers.isRunning(10));
    timers.start(10);
    timers.setInterval(4, 20);
    timers.start(4);
    ASSERT_TRUE(this->waitForTicks(4, 5));
    EXPECT_EQ(this->ticks[10], 2);
}

TYPED_TEST(TimerArrayContract, ASingleShotTimerTicksOnceAndIsStoppedInItsTickACoarseOneStillTicks) {
    TimerArray& timers = this->timers;
    bool runningInTick = true;
    timers.setTickHandler([&](int index) {
        ++this->ticks[index];
        if (index == 0) {
            runningInTick = timers.isRunning(0);
            if (this->ticks[0] == 1) timers.start(0);  // armed again from its own tick: one more
        }
    });
    timers.setSingleShot(0, true);
    timers.setInterval(0, 20);
    timers.start(0);
    ASSERT_TRUE(this->waitForTicks(0, 2));
    EXPECT_FALSE(runningInTick);
    timers.setCoarse(4, true);
    timers.setInterval(4, 20);
    timers.start(4);
    ASSERT_TRUE(this->waitForTicks(4, 5));
    EXPECT_EQ(this->ticks[0], 2);
    EXPECT_FALSE(timers.isRunning(0));
    EXPECT_TRUE(timers.isRunning(4));

    timers.setSingleShot(0, false);  // periodic again from its next start
    timers.start(0);
    ASSERT_TRUE(this->waitForTicks(0, 3));
    EXPECT_TRUE(timers.isRunning(0));
}

TYPED_TEST(TimerArrayContract, AnIndexTheArrayLacksIsIgnored) {
    TimerArray& timers = this->timers;
    for (int index : {-1, 1, 8, 12}) {
        timers.setInterval(index, 10);
        timers.start(index);
        EXPECT_FALSE(timers.isRunning(index)) << index;
        timers.stop(index);
    }
    timers.setInterval(9, 20);
    timers.start(9);
    ASSERT_TRUE(this->waitForTicks(9, 5));
    EXPECT_EQ(this->ticks.size(), 1u) << "a tick for an index the array lacks";
}

TYPED_TEST(TimerArrayContract, AFailureInTheHandlerEndsThatTickOnly) {
    TimerArray& timers = this->timers;
    timers.setTickHandler([&](int index) {
        ++this->ticks[index];
        throw std::runtime_error("a handler that fails");
    });
    timers.setInterval(7, 20);
    timers.start(7);
    EXPECT_TRUE(this->waitForTicks(7, 3));
    EXPECT_TRUE(timers.isRunning(7));
}

}  // namespace
}  // namespace rx47
