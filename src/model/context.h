// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Everything a handler of the main window works on: the window model, the monitor state, the
// program-wide values and the outside world behind its interfaces, and the narrow view of it that
// each layer's handlers take. main() builds the one Context for the real program; the tests' rig
// builds one over fakes. There are no globals.
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
struct Context;

// The narrow views. Each says what one layer's handlers may touch, and no more; the Context makes
// each of them wherever one is at hand, so a handler passes its own on as it is. A view holds
// references only: it is passed by value, and a handler that keeps it for later (a completion
// handler) keeps a copy, never a reference to its parameter.

/// What the display's handlers work on, and all they may: the window model, the state and values they
/// draw from, the settings they read and keep (the scales, the alarm line) and the clock (the time
/// axis). Never the port, the timers, the desktop or the outside world.
struct DisplayContext {
    MainForm& form;
    MonitorState& state;
    ProgramValues& values;
    SettingsRow& settings;
    const Clock& clock;
};

/// The timer schedule's own part: the lamps' blinks, the arming of the minute's timer and what the
/// running timers mean (an alarm shown, a device save pending). It reads the clock and paints the
/// lamps; it never talks to the device.
struct ScheduleContext {
    MainForm& form;
    MonitorState& state;
    const Clock& clock;
    TimerArray& timers;
};

/// The notices of the main window: the window model shows them, the state keeps them, the log says
/// them once.
struct NoticeContext {
    MainForm& form;
    MonitorState& state;
    FailureLog& log;
    const std::filesystem::path& programFolder;
};

/// The alarm sound: the player, the event pump that serves events while it plays, the sound file in
/// the program folder, and the notice of a sound that cannot play.
struct SoundContext {
    MainForm& form;
    MonitorState& state;
    ProgramValues& values;
    WavePlayer& player;
    EventPump& pump;
    FailureLog& log;
    const std::filesystem::path& programFolder;

    // NOLINTNEXTLINE(google-explicit-constructor): implicit, as the Context's views are
    operator NoticeContext() const { return {form, state, log, programFolder}; }
};

/// The alarm and event commands: they read the window's figures and the clock, keep their waiting
/// runs in the state and run commands; they never touch the device, the timers or the settings.
struct EventContext {
    const MainForm& form;
    MonitorState& state;
    const Clock& clock;
    FailureLog& log;
    const std::filesystem::path& programFolder;
    const Reporting& reporting;
    CommandRunner* commandRunner;
    CommandRunner* eventRunner;
};

/// The reports of the monitor's state to the world (the metrics file, MQTT): they read the window's
/// figures, the values and levels, whether the port is open and which timers run, and the clock; they
/// write the file, publish and log. They change nothing the monitor works with, and never send to
/// the device or move a timer (the one exception: the state keeps which minute was published).
struct ReportContext {
    const MainForm& form;
    MonitorState& state;
    const ProgramValues& values;
    SettingsRow& settings;
    const SerialPort& port;
    const TimerArray& timers;
    const Clock& clock;
    FailureLog& log;
    const std::filesystem::path& programFolder;
    const Reporting& reporting;
    MessageBroker* broker;
};

/// What a handler of a window's controls works on, in the main window and the settings dialog alike:
/// the window model, the state, the values and settings the controls show and change, the clock,
/// the port and the timers for the device commands, and the desktop; the display and the schedule's
/// lamps below them.
struct ControlsContext {
    MainForm& form;
    MonitorState& state;
    ProgramValues& values;
    SettingsRow& settings;
    const Clock& clock;
    SerialPort& port;
    TimerArray& timers;
    Desktop& desktop;

    // Implicit, as the Context's views are: a handler passes its own view on to the layer below.
    // NOLINTBEGIN(google-explicit-constructor)
    operator DisplayContext() const { return {form, state, values, settings, clock}; }
    operator ScheduleContext() const { return {form, state, clock, timers}; }
    // NOLINTEND(google-explicit-constructor)
};

/// The main window's handlers that act on their own (the option pairs, the lists, the pointer, the
/// notification-area icon and the window mode): the controls' context and the log.
struct UiContext : ControlsContext {
    FailureLog& log;
    /// Where the tray registers the tick of its icon's timer.
    void (*&trayIconTick)(Context&);
};

/// The settings dialog's handlers (the settings row and the values they edit, the main window's
/// colours and alarm line, the colour picker and the message box): the controls' context and the
/// program folder (is there a sound to test).
struct SetupContext : ControlsContext {
    const std::filesystem::path& programFolder;
};

/// Everything: what main() builds, and what the handlers that drive the whole monitor (a timer's
/// tick, the intake, the minute, the link, the alarms, start-up and shutdown) work on. It makes each
/// narrow view above.
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

    // Implicit: every handler hands its Context down as it is.
    // NOLINTBEGIN(google-explicit-constructor)
    operator DisplayContext() const { return {form, state, values, settings, clock}; }
    operator ScheduleContext() const { return {form, state, clock, timers}; }
    operator NoticeContext() const { return {form, state, log, programFolder}; }
    operator SoundContext() const { return {form, state, values, player, pump, log, programFolder}; }
    operator EventContext() const {
        return {form, state, clock, log, programFolder, reporting, commandRunner, eventRunner};
    }
    operator ReportContext() const {
        return {form, state, values, settings, port, timers, clock, log, programFolder, reporting, broker};
    }
    operator UiContext() { return {controls(), log, trayIconTick}; }
    operator SetupContext() const { return {controls(), programFolder}; }
    // NOLINTEND(google-explicit-constructor)

private:
    ControlsContext controls() const { return {form, state, values, settings, clock, port, timers, desktop}; }
};

}  // namespace rx47
