// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/core_rig.h"

#include "ui/shutdown.h"
#include "ui/startup.h"

namespace rx47::test {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, and back (H. Hinnant).
long long daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

FollowingClock::FollowingClock(const VirtualTimerArray& timers, const LocalDateTime& start) : timers_(timers) {
    set(start);
}

void FollowingClock::set(const LocalDateTime& t) {
    startSeconds_ = daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    startMilliseconds_ = timers_.now();
}

LocalDateTime FollowingClock::now() const {
    const long long seconds = startSeconds_ + (timers_.now() - startMilliseconds_) / 1000;
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    LocalDateTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

CoreRig::CoreRig(const LocalDateTime& start, TempProgramFolder::Settings settingsKind) : Rig({settingsKind}) {
    clock.set(start);
    // The alarm sound the build supplies, so that alarms play it.
    std::filesystem::copy_file(std::filesystem::path(RX47_PROGRAM_FOLDER) / "RX47.wav", folder.path() / "RX47.wav");
    dispatchTicks();
    dispatchReceivedData();
}

void CoreRig::start() {
    Form_Load(ctx);
    timers.advance(2100);  // the splash delay; the per-minute timer runs from here on
    Form_Activate(ctx);
}

void CoreRig::shutDown() {
    timers.setTickHandler({});
    Form_QueryUnload(ctx);
}

}  // namespace rx47::test
