// The core over the real serial port (pseudo-terminals listed in the folder's ports/) and Qt's
// timers, with a settable clock and doubles for the desktop, the sound and the event pump: what the
// integration tests drive against the simulator.
#pragma once

#include <filesystem>

#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_timer_array.h"
#include "storage/settings_row.h"
#include "support/fakes.h"
#include "support/program_folder.h"

namespace rx47::test {

struct LiveCore {
    /// The program folder is `subfolder` of the temporary folder (the folder itself when empty); the
    /// port table is the temporary folder's ports/.
    explicit LiveCore(const std::filesystem::path& subfolder = {})
        : programFolder(subfolder.empty() ? folder.path() : folder.path() / subfolder) {
        std::filesystem::create_directories(folder.path() / "ports");
        std::filesystem::create_directories(programFolder);
    }

    TempProgramFolder folder;
    std::filesystem::path programFolder;
    MainForm form = makeMainForm();
    MonitorState state;
    ProgramValues values;
    SettingsRow settings;
    QtSerialPort port{folder.path()};
    QtTimerArray timers;
    SettableClock clock;
    RecordingDesktop desktop;
    ScriptedWavePlayer player;
    ScriptedEventPump pump;
    RecordingLogSink logLines;
    FailureLog log{&logLines};
    Context ctx{form, state, values, settings, port, timers, clock, desktop, player, pump, programFolder, log};
};

}  // namespace rx47::test
