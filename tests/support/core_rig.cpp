// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/core_rig.h"

#include <chrono>

#include "ui/shutdown.h"
#include "ui/startup.h"

namespace rx47::test {

FollowingClock::FollowingClock(const VirtualTimerArray& timers, const LocalDateTime& start) : timers_(timers) {
    set(start);
}

void FollowingClock::set(const LocalDateTime& t) {
    using namespace std::chrono;
    const sys_days day{year{t.year} / t.month / t.day};
    startSeconds_ = day.time_since_epoch().count() * 86400LL + t.hour * 3600 + t.minute * 60 + t.second;
    startMilliseconds_ = timers_.now();
}

LocalDateTime FollowingClock::now() const {
    using namespace std::chrono;
    const sys_seconds at{seconds{startSeconds_ + (timers_.now() - startMilliseconds_) / 1000}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    return {int(date.year()),          int(unsigned(date.month())), int(unsigned(date.day())),
            int(time.hours().count()), int(time.minutes().count()), int(time.seconds().count())};
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
