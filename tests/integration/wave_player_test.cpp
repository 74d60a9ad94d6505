// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The QSoundEffect wave player with no audio output: whatever happens, the alarm sound's wait ends.
// The supplied "RX47.wav" is read as a wave file.
//
// PULSE_SERVER points at a socket that does not exist, so no sound server on the machine is reached
// and the desktop has no audio output, as on a computer without sound.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "base/failure.h"
#include "monitor/alarm_sound.h"
#include "platform/qt/on_demand_wave_player.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_wave_player.h"
#include "storage/program_folder.h"
#include "support/file_checks.h"
#include "support/program_folder.h"
#include "support/sound_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace rx47 {
namespace {

[[maybe_unused]] const auto* const kNoSound = ::testing::AddGlobalTestEnvironment(new test::NoSoundServer);

TEST(WaveFile, TheSuppliedSoundIsAShortWaveFileAndAFileThatIsNotOneFails) {
    const auto length = waveFileLength(test::suppliedSound());
    EXPECT_GE(length, 1000ms);
    EXPECT_LE(length, 2000ms);

    test::TempProgramFolder folder(test::TempProgramFolder::Settings::None);
    const fs::path file = folder.path() / "RX47.wav";
    EXPECT_THROW(waveFileLength(file), FileError);  // missing
    const std::string sound = test::bytesOf(test::suppliedSound());
    ASSERT_GT(sound.size(), 44u);
    const std::pair<const char*, std::string> broken[] = {
        {"empty", ""},
        {"text", "this is not a sound at all, just some text"},
        {"header cut short", sound.substr(0, 30)},
        {"no data chunk", sound.substr(0, 36)},
        {"not PCM", sound.substr(0, 20) + std::string("\x55\x00", 2) + sound.substr(22)},
    };
    for (const auto& [what, bytes] : broken) {
        test::writeBytes(file, bytes);
        EXPECT_THROW(waveFileLength(file), FileError) << what;
    }
}

bool soundModuleMapped() {
    return test::bytesOf("/proc/self/maps").find(kSoundModule) != std::string::npos;
}

TEST(OnDemandWavePlayer, LoadsTheSoundModuleWhenASoundIsFirstOpened) {
    OnDemandWavePlayer player;
    // Calls with nothing open (tests/contract/wave_player_contract_test) load nothing.
    EXPECT_THROW(player.play(), FileError);
    player.close();
    EXPECT_FALSE(player.loaded());
    EXPECT_FALSE(soundModuleMapped());

    // The module's player fails as the player does: no audio output here.
    EXPECT_THROW(player.open(test::suppliedSound()), FileError);
    EXPECT_TRUE(player.loaded());
    EXPECT_TRUE(soundModuleMapped());
    EXPECT_THROW(player.play(), FileError);
}

TEST(QtWavePlayer, TheAlarmSoundReturnsWithoutAnAudioOutput) {
    struct Parts : test::Fakes {
        using Player = QtWavePlayer;
        using Pump = QtEventPump;
    };
    test::BasicTestMonitor<Parts> m;
    fs::copy_file(test::suppliedSound(), m.folder.path() / kAlarmSoundFile);
    playAlarmSound(m.ctx);
    EXPECT_TRUE(m.values.soundFinished);
}

}  // namespace
}  // namespace rx47
