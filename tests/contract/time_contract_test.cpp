// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The contracts of time (platform/clock.h, platform/event_pump.h) held by the machine's clock and the
// Qt event pump on a real event loop. (The doubles the core's tests run on give what the test sets.)
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <ctime>

#include "platform/qt/qt_event_pump.h"
#include "platform/qt/system_clock.h"
#include "support/qt_events.h"
#include "support/time_zone.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

// --- Clock ---

/// Seconds since 1970 of a local date and time read as if it were UTC: two of them compare.
long long asSeconds(const LocalDateTime& t) {
    using namespace std::chrono;
    const sys_days date = year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)};
    return (date.time_since_epoch() + hours{t.hour} + minutes{t.minute} + seconds{t.second}) / 1s;
}

TEST(ClockContract, NowIsTheLocalTimeOfDayInTheMachinesZone) {
    SystemClock clock;
    for (const char* zone : {test::kJapan, test::kCentralEurope}) {
        test::TimeZone inZone(zone);
        const std::time_t seconds = std::time(nullptr);
        std::tm tm{};
        ::localtime_r(&seconds, &tm);
        const LocalDateTime expected{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
        const LocalDateTime now = clock.now();
        const int fields[][3] = {{now.month, 1, 12},  {now.day, 1, 31},    {now.hour, 0, 23},
                                 {now.minute, 0, 59}, {now.second, 0, 59}, {now.year, 2000, 9999}};
        for (const auto& [value, low, high] : fields) {
            EXPECT_GE(value, low);
            EXPECT_LE(value, high);
        }
        // The same second, give or take one that passed between the two readings.
        EXPECT_LE(std::abs(asSeconds(now) - asSeconds(expected)), 2)
            << zone << ": " << now.year << '-' << now.month << '-' << now.day << ' ' << now.hour << ':' << now.minute
            << ':' << now.second;
    }
}

// --- EventPump ---

TEST(EventPumpContract, APendingEventIsServedInsideTheWait) {
    QtEventPump pump;
    bool served = false;
    QTimer::singleShot(0, [&] { served = true; });
    pump.processEvents(10s);
    EXPECT_TRUE(served);
}

TEST(EventPumpContract, AWaiterWithNothingToServeNeitherSpinsNorSleepsPastItsDeadline) {
    // The alarm sound's watchdog waits so: slices of its wait until its deadline on now(), which the
    // time of day moving (here: to another zone) does not move.
    QtEventPump pump;
    const auto start = pump.now();
    auto last = start;
    int calls = 0;
    while (pump.now() - start < 200ms && calls < 1000) {
        test::TimeZone elsewhere(calls % 2 ? test::kJapan : test::kCentralEurope);
        pump.processEvents(50ms);
        ++calls;
        EXPECT_GE(pump.now(), last) << "the clock went back";
        EXPECT_LT(pump.now() - last, 1h) << "the clock followed the time of day";
        last = pump.now();
    }
    EXPECT_GE(pump.now() - start, 200ms) << "a thousand calls took no time: the wait spins";
    EXPECT_LE(calls, 100) << "each call returned long before its wait";
}

}  // namespace
}  // namespace rx47
