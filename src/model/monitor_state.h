// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The monitor state: the main window's run-time variables and the program-wide values shared with
// the settings dialog and the sound routine. Nothing here is persisted; persistent values are
// columns of the settings row.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/number.h"
#include "model/alarm_kind.h"
#include "model/link_state.h"

namespace rx47 {

/// minCpm before the first minute is entered: any per-minute value up to it becomes the minimum.
inline constexpr std::int32_t kNoMinimumCpm = 500;

/// The main window's variables, with the values start-up gives them.
/// An event waiting for its command: the variables it runs with.
struct PendingRun {
    std::vector<std::pair<std::string, std::string>> environment;
    bool operator==(const PendingRun&) const = default;
};

struct MonitorState {
    /// where the device link stands: monitor/link.cpp moves it on, the shutdown ends it
    LinkState link = LinkState::Linked;
    std::int32_t lastMinute = 0;   ///< clock minute of the last per-minute update; 0 forces the next
    std::int32_t minuteCount = 0;  ///< per-minute values added into minuteSum
    std::int32_t minuteSum = 0;    ///< sum of the per-minute CPM values since start or reset
    /// smallest per-minute CPM seen
    std::int32_t minCpm = kNoMinimumCpm;
    std::int32_t maxCpm = 0;  ///< largest per-minute CPM seen
    bool rxLampLit = true;    ///< blink phases: true means the next blink tick paints bright
    bool txLampLit = true;
    bool errorLampLit = true;
    std::int16_t rxBlinkTicks = 0;
    std::int16_t txBlinkTicks = 0;
    std::int16_t errorBlinkTicks = 0;
    std::int16_t splashTicks = 0;           ///< ticks of the splash delay so far
    std::int16_t saveDelayTicks = 0;        ///< ticks of the device-save delay so far
    std::string monthFolder;                ///< the month sub-folder of this run's daily records
    std::int16_t hoverButton = 9;           ///< cmd button under the pointer; 9 is none
    std::int32_t minuteCpm = 0;             ///< rounded mean of this minute's accepted readings
    bool isLoading = true;                  ///< start-up until the first activation of the window
    std::int32_t readingCount = 0;          ///< readings accepted in the current minute
    std::int32_t readingSum = 0;            ///< their sum
    float doseScaleFactor = 0;              ///< graph twips per 1 μSv/h
    std::int16_t cpmAlarmHits = 0;          ///< readings counted towards the CPM alarm
    std::int16_t doseAlarmHits = 0;         ///< readings counted towards the dose alarm
    AlarmKind shownAlarm = AlarmKind::Cpm;  ///< the alarm last raised: the one the banner shows while shown

    // What the minute update needs to enter each clock minute once, and only a measured one.
    std::int64_t scrolledMinute = -1;       ///< clock minute (minuteKey) in which the graph last moved on
    std::int64_t enteredMinute = -1;        ///< clock minute last entered into statistics, graph and records
    std::int64_t enteredMinuteTime = -1;    ///< Unix time of the update that entered it; -1 before any
    bool measuring = false;                 ///< a reading was accepted since start-up or since the device was lost
    bool deviceHeard = false;               ///< anything came from the device since start-up
    bool heardThisMinute = false;           ///< the intake took in something since the last minute update
    int quietMinutes = 0;                   ///< minute updates in a row with nothing taken in from the device
    int readinglessMinutes = 0;             ///< minute updates in a row without a reading while receiving
    bool searchingQuietly = false;          ///< the search gave up: a round each minute, Searching then NotFound
    std::int64_t publishedMinuteTime = -1;  ///< the minute last published over MQTT

    // The per-minute timer's last sleep, to follow a wall clock that moves on faster than the timers.
    std::int64_t minuteArmedAt = -1;  ///< Unix time (wall clock) of its arming; -1 before any
    std::int32_t minuteSleepMs = 0;   ///< the sleep it was armed for
    bool minuteSleepForced = false;   ///< armed for a forced update
    double wallClockPace = 1;         ///< wall-clock time per timer time over the last sleep: 1, or at least 2

    int refusedPort = 0;  ///< the port refused or held by another program that the window tells of, 0 for none
    std::array<std::string, 4> notices;        ///< the window's notices in force, by kind (monitor/notices.h)
    std::vector<PendingRun> pendingAlarmRuns;  ///< alarms waiting for the alarm command
    std::vector<PendingRun> pendingEventRuns;  ///< events waiting for the event command

    bool operator==(const MonitorState&) const = default;
};

/// Values shared by the main window, the settings dialog and the sound routine; all 0 or empty when
/// the program starts. The CPM alarm level and the gamma coefficient are the device's own values,
/// which it takes from 0 to 65535: they are held unsigned, so every accepted value can be kept.
struct ProgramValues {
    std::int16_t cpmScaleFactor = 0;     ///< graph twips per 1 CPM
    std::uint16_t cpmAlarmLevel = 0;     ///< 0: not yet known (taken from the device or the settings)
    std::uint16_t gammaCoefficient = 0;  ///< CPM per 1 μSv/h; 0: not yet known
    std::string versionText;
    bool soundFinished = false;
};

}  // namespace rx47
