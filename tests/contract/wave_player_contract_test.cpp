// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wave player's contract (platform/wave_player.h) where it needs no sound: the scripted double the
// core's tests run on, the Qt player and the program's player that loads it on demand, on a desktop
// without audio output (PULSE_SERVER names a socket that does not exist). Playback itself, with its
// completion, is wave_player_playback_test's, on a sound server of its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/failure.h"
#include "monitor/alarm_sound.h"
#include "platform/qt/on_demand_wave_player.h"
#include "platform/qt/qt_wave_player.h"
#include "storage/program_folder.h"
#include "support/fakes.h"
#include "support/program_folder.h"
#include "support/sound_server.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] const auto* const kNoSound = ::testing::AddGlobalTestEnvironment(new test::NoSoundServer);

struct ScriptedRig {
    static constexpr const char* kName = "Scripted";
    test::ScriptedWavePlayer player;
    /// Makes the next open fail, as the Qt players' do without an audio output.
    void withoutOutput() { player.failOpen = true; }
};

struct QtRig {
    static constexpr const char* kName = "Qt";
    QtWavePlayer player;
    void withoutOutput() {}
};

struct OnDemandRig {
    static constexpr const char* kName = "OnDemand";
    OnDemandWavePlayer player;
    void withoutOutput() {}
};

template <class Rig>
struct WavePlayerContract : ::testing::Test {
    Rig rig;
    WavePlayer& player = rig.player;
    int completions = 0;

    WavePlayerContract() {
        player.setCompletionHandler([this] { ++completions; });
    }
    /// Nothing is open: play() fails, the rest does nothing.
    void expectNothingOpen() {
        EXPECT_THROW(player.play(), Failure);
        EXPECT_EQ(player.length(), 0ms);
        player.stop();
        player.rewind();
        player.close();
        EXPECT_EQ(completions, 0);
    }
};

using Rigs = ::testing::Types<ScriptedRig, QtRig, OnDemandRig>;
TYPED_TEST_SUITE(WavePlayerContract, Rigs, test::RigNames);

TYPED_TEST(WavePlayerContract, WithNothingOpenPlayFailsAndTheRestDoesNothing) {
    this->expectNothingOpen();
}

TYPED_TEST(WavePlayerContract, AnOpenThatFailsLeavesNothingOpen) {
    this->rig.withoutOutput();
    EXPECT_THROW(this->player.open(test::suppliedSound()), Failure);
    this->expectNothingOpen();
    // And again: a failed open is no state of its own.
    EXPECT_THROW(this->player.open(test::suppliedSound()), Failure);
    this->expectNothingOpen();
}

}  // namespace
}  // namespace rx47
