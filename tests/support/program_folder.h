// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A temporary program folder for one test, with a copy of the supplied settings file, removed again
// at the end. And a monitor over the fakes, for the core's tests.
#pragma once

#include <filesystem>
#include <string>

#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"
#include "support/fakes.h"

namespace rx47::test {

/// The supplied settings file, as the build made it.
std::filesystem::path suppliedSettingsFile();
/// The older settings file without the recording columns.
std::filesystem::path legacySettingsFile();

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

/// The whole monitor core over the fakes, with its settings in a temporary program folder and the
/// timer ticks dispatched as the program does.
struct TestMonitor {
    explicit TestMonitor(TempProgramFolder::Settings settings = TempProgramFolder::Settings::Supplied);

    /// Sets a column and commits it.
    void setSetting(const std::string& column, SettingValue value);
    /// The device on port 1, open, with its coefficient (120) and CPM level (100) known, as after
    /// its first status report.
    void connectDevice();
    /// The device sends `text`; the intake reads it half a second later.
    void receive(const std::string& text);
    /// The device sends one reading.
    void read(int cpm) { receive(std::to_string(cpm) + "\r\n"); }

    TempProgramFolder folder;
    MainForm form = makeMainForm();
    MonitorState state;
    ProgramValues values;
    SettingsRow settings;
    MemorySerialPort port;
    VirtualTimerArray timers;
    SettableClock clock;
    RecordingDesktop desktop;
    ScriptedWavePlayer player;
    ScriptedEventPump pump;
    RecordingLogSink logLines;
    FailureLog log{&logLines};
    RecordingCommandRunner commands;  ///< runs the alarm command, once a test names one
    Context ctx;
};

}  // namespace rx47::test
