// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Everything a handler of the main window works on: the window model, the monitor state, the
// program-wide values and the outside world behind its interfaces. main() builds one for the real
// program; tests build one over fakes. There are no globals.
#pragma once

#include <filesystem>

#include "model/reporting.h"

namespace rx47 {

struct MainForm;
struct MonitorState;
struct ProgramValues;
class SettingsRow;
class SerialPort;
class TimerArray;
class Clock;
class Desktop;
class WavePlayer;
class EventPump;
class FailureLog;
class CommandRunner;
class MessageBroker;

struct Context {
    MainForm& form;
    MonitorState& state;
    ProgramValues& values;
    SettingsRow& settings;
    SerialPort& port;
    TimerArray& timers;
    const Clock& clock;
    Desktop& desktop;
    WavePlayer& player;
    EventPump& pump;
    std::filesystem::path programFolder;
    FailureLog& log;                         ///< failures that the behaviour skips over are logged here, once per cause
    Reporting reporting = {};                ///< the metrics file and the alarm command, when named
    CommandRunner* commandRunner = nullptr;  ///< runs the alarm command; none: it is never run
    CommandRunner* eventRunner = nullptr;    ///< runs the event command; none: it is never run
    MessageBroker* broker = nullptr;         ///< MQTT; none: nothing is published
    /// The tick of the notification-area icon's timer (index 11), registered by the tray when it
    /// loads the icon; none: the tick does nothing.
    void (*trayIconTick)(Context&) = nullptr;
};

/// What the display's handlers work on, and all they may: the window model, the state and values they
/// draw from, the settings they read and keep (the scales, the alarm line) and the clock (the time
/// axis). Never the port, the timers, the desktop or the outside world. Made from a Context wherever
/// one is at hand, so a handler passes its own on.
struct DisplayContext {
    MainForm& form;
    MonitorState& state;
    ProgramValues& values;
    SettingsRow& settings;
    const Clock& clock;

    // Implicit: every handler above the display hands its Context down as it is.
    DisplayContext(Context& ctx)  // NOLINT(google-explicit-constructor)
        : form(ctx.form), state(ctx.state), values(ctx.values), settings(ctx.settings), clock(ctx.clock) {}
};

}  // namespace rx47
