// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A temporary program folder for one test, with a copy of the supplied settings file, removed again
// at the end. And the one rig of the core's tests, with the monitor over the fakes.
#pragma once

#include <filesystem>
#include <string>
#include <type_traits>
#include <utility>

#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/link.h"
#include "monitor/timer_schedule.h"
#include "storage/settings_row.h"
#include "support/fakes.h"

namespace rx47::test {

/// The supplied settings file, as the build made it.
std::filesystem::path suppliedSettingsFile();
/// The alarm sound the build supplies.
std::filesystem::path suppliedSound();

class TempProgramFolder {
public:
    enum class Settings { Supplied, Legacy, None };
    explicit TempProgramFolder(Settings settings = Settings::Supplied);
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path settingsFile() const { return path_ / kSettingsFileName; }

private:
    std::filesystem::path path_;
};

/// The settings file of a program folder as a fresh open reads it now: what is on disk, whatever a
/// row held open elsewhere has pending (`StoredSettings(folder).text("COMport")`). Throws as
/// SettingsRow::open() does.
class StoredSettings : public SettingsRow {
public:
    explicit StoredSettings(const std::filesystem::path& programFolder) { open(programFolder); }
};

/// The outside world as the core's unit tests see it. A rig names only the parts that differ.
struct Fakes {
    using Port = MemorySerialPort;
    using Timers = VirtualTimerArray;
    using Clock = SettableClock;
    using Desktop = RecordingDesktop;
    using Player = ScriptedWavePlayer;
    using Pump = ScriptedEventPump;
};

/// Where a rig's program lives.
struct Place {
    TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied;
    /// Relative: a folder inside the temporary folder; absolute: that folder; empty: the temporary one.
    std::filesystem::path programFolder = {};
    /// A settings row kept elsewhere (open already); none: the rig's own row.
    SettingsRow* settingsRow = nullptr;
};

/// A part made from what it takes (the port from the folder of its port table, the clock from the
/// timers it follows), else made plain.
template <class T, class... Args>
T makePart(Args&&... args) {
    if constexpr (std::is_constructible_v<T, Args...>)
        return T(std::forward<Args>(args)...);
    else
        return T();
}

/// The one rig of every test of the core: a temporary program folder, the models, the settings row,
/// the outside world of the kinds `Parts` names and the log, each held once, and the Context over
/// them. Nothing is opened, wired or started.
template <class Parts = Fakes>
struct Rig {
    explicit Rig(const Place& place = {})
        : folder(place.settings),
          programFolder(place.programFolder.empty() ? folder.path() : folder.path() / place.programFolder),
          ctx{form,   state,  values,        place.settingsRow ? *place.settingsRow : settings,
              port,   timers, clock,         desktop,
              player, pump,   programFolder, log} {}
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    /// Timer ticks and received data reach the program's handlers, as main() wires them.
    void dispatchTicks() {
        timers.setTickHandler([this](int index) { onTimerTick(ctx, index); });
    }
    void dispatchReceivedData() {
        port.setDataReceivedHandler([this] { onDataReceived(ctx); });
    }

    TempProgramFolder folder;
    std::filesystem::path programFolder;
    MainForm form = makeMainForm();
    MonitorState state;
    ProgramValues values;
    SettingsRow settings;
    typename Parts::Port port = makePart<typename Parts::Port>(folder.path());
    typename Parts::Timers timers{timer::kAll};  // the program's timers
    typename Parts::Clock clock = makePart<typename Parts::Clock>(std::as_const(timers));
    typename Parts::Desktop desktop;
    typename Parts::Player player;
    typename Parts::Pump pump;
    RecordingLogSink logLines;
    FailureLog log{&logLines};
    Context ctx;
};

/// The whole monitor core over the fakes (or other sounds), with its settings open in a temporary
/// program folder and the timer ticks dispatched as the program does.
template <class Parts = Fakes>
struct BasicTestMonitor : Rig<Parts> {
    explicit BasicTestMonitor(TempProgramFolder::Settings kind = TempProgramFolder::Settings::Supplied)
        : Rig<Parts>({kind}) {
        this->settings.setLog(&this->log);
        this->ctx.commandRunner = &commands;
        if (kind != TempProgramFolder::Settings::None) this->settings.open(this->folder.path());
        setUpTimers(this->ctx);
        this->dispatchTicks();
    }

    /// Sets a column and commits it.
    void setSetting(const std::string& column, SettingValue value) {
        this->settings.write(column, std::move(value));
        this->settings.commit();
    }
    /// A device on port 1, and the port open.
    void plugIn() {
        this->port.devices = {1};
        this->port.open(1);
    }
    /// The device on port 1, open, with its coefficient (120) and CPM level (100) known, as after
    /// its first status report.
    void connectDevice() {
        plugIn();
        this->values.gammaCoefficient = 120;
        this->values.cpmAlarmLevel = 100;
    }
    /// The device sends `text`; the intake reads it half a second later.
    void receive(const std::string& text) {
        this->port.received += text;
        this->timers.start(timer::kIntake);
        this->timers.advance(500);
    }
    /// The device sends one reading.
    void read(int cpm) { receive(std::to_string(cpm) + "\r\n"); }

    RecordingCommandRunner commands;  ///< runs the alarm command, once a test names one
};
using TestMonitor = BasicTestMonitor<>;

}  // namespace rx47::test
