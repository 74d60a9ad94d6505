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
};

}  // namespace rx47
