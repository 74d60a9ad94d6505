// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The contracts of time (platform/clock.h, platform/event_pump.h), held alike by the doubles the
// core's tests run on and by the Qt adapters on a real event loop.
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <ctime>
#include <functional>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/system_clock.h"
#include "support/fakes.h"
#include "support/qt_events.h"
#include "support/time_zone.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

// --- Clock ---

/// Seconds since 1970 of a local date and time read as if it were UTC: two of them compare.
std::time_t asSeconds(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return ::timegm(&tm);
}

/// The clock the test sets: the local time is what it was set to.
struct SettableRig {
    static constexpr const char* kName = "Settable";
    test::SettableClock clock;
    LocalDateTime localTime() {
        clock.time = {2026, 12, 31, 23, 59, 58};
        return clock.time;
    }
};

/// The machine's clock: the local time is the C library's, in the zone TZ names.
struct SystemRig {
    static constexpr const char* kName = "System";
    SystemClock clock;
    LocalDateTime localTime() {
        const std::time_t now = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&now, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
};

template <class Rig>
struct ClockContract : ::testing::Test {
    Rig rig;
};

using ClockRigs = ::testing::Types<SettableRig, SystemRig>;
TYPED_TEST_SUITE(ClockContract, ClockRigs, test::RigNames);

TYPED_TEST(ClockContract, NowIsTheLocalTimeOfDayInTheMachinesZone) {
    for (const char* zone : {test::kJapan, test::kCentralEurope}) {
        test::TimeZone inZone(zone);
        const LocalDateTime expected = this->rig.localTime();
        const LocalDateTime now = this->rig.clock.now();
        EXPECT_GE(now.month, 1);
        EXPECT_LE(now.month, 12);
        EXPECT_GE(now.day, 1);
        EXPECT_LE(now.day, 31);
        // The same second, give or take one that passed between the two readings.
        EXPECT_LE(std::abs(asSeconds(now) - asSeconds(expected)), 2)
            << zone << ": " << now.year << '-' << now.month << '-' << now.day << ' ' << now.hour << ':' << now.minute
            << ':' << now.second;
    }
}

// --- EventPump ---

/// Each call serves the next step of the script and moves its clock on by the wait.
struct ScriptedRig {
    static constexpr const char* kName = "Scripted";
    test::ScriptedEventPump pump;
    void post(std::function<void()> event) { pump.script.push_back(std::move(event)); }
};

/// The event loop: an event posted to it is served by the next call.
struct QtRig {
    static constexpr const char* kName = "Qt";
    QtEventPump pump;
    void post(std::function<void()> event) { QTimer::singleShot(0, std::move(event)); }
};

template <class Rig>
struct EventPumpContract : ::testing::Test {
    Rig rig;
    EventPump& pump = rig.pump;
};

using PumpRigs = ::testing::Types<ScriptedRig, QtRig>;
TYPED_TEST_SUITE(EventPumpContract, PumpRigs, test::RigNames);

TYPED_TEST(EventPumpContract, APendingEventIsServedInsideTheWait) {
    bool served = false;
    this->rig.post([&] { served = true; });
    this->pump.processEvents(10s);
    EXPECT_TRUE(served);
}

TYPED_TEST(EventPumpContract, AWaiterWithNothingToServeNeitherSpinsNorSleepsPastItsDeadline) {
    // The alarm sound's watchdog waits so: slices of its wait until its deadline on now().
    EventPump& pump = this->pump;
    const auto start = pump.now();
    auto last = start;
    int calls = 0;
    while (pump.now() - start < 200ms && calls < 1000) {
        pump.processEvents(50ms);
        ++calls;
        EXPECT_GE(pump.now(), last) << "the clock went back";
        last = pump.now();
    }
    EXPECT_GE(pump.now() - start, 200ms) << "a thousand calls took no time: the wait spins";
    EXPECT_LE(calls, 100) << "each call returned long before its wait";
}

}  // namespace
}  // namespace rx47
