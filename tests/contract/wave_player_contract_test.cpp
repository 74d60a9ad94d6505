// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wave player's contract (platform/wave_player.h) where it needs no sound: the scripted double the
// core's tests run on, the Qt player and the program's player that loads it on demand, on a desktop
// without audio output (PULSE_SERVER names a socket that does not exist). Playback itself, with its
// completion and a playback closed or replaced by another open, is wave_player_playback_test's, on a
// sound server of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>

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

/// An open that fails: the Qt players' always does without an audio output; the double's is told
/// to, after a file it opened fine (which the failing open closes).
struct ScriptedRig {
    static constexpr const char* kName = "Scripted";
    test::ScriptedWavePlayer player;
    void failingOpen() {
        player.failOpen = false;
        player.open(test::suppliedSound());
        player.failOpen = true;
        try {
            player.open(test::suppliedSound());
        } catch (const Failure&) {
        }
    }
};

template <class Player>
struct QtRig {
    static constexpr const char* kName = std::is_same_v<Player, QtWavePlayer> ? "Qt" : "OnDemand";
    Player player;
    void failingOpen() { EXPECT_THROW(player.open(test::suppliedSound()), Failure); }
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

using Rigs = ::testing::Types<ScriptedRig, QtRig<QtWavePlayer>, QtRig<OnDemandWavePlayer>>;
TYPED_TEST_SUITE(WavePlayerContract, Rigs, test::RigNames);

TYPED_TEST(WavePlayerContract, WithNothingOpenPlayFailsAndTheRestDoesNothing) {
    this->expectNothingOpen();
}

TYPED_TEST(WavePlayerContract, AnOpenThatFailsLeavesNothingOpen) {
    for (int attempt = 1; attempt <= 2; ++attempt) {  // a failed open is no state of its own
        this->rig.failingOpen();
        this->expectNothingOpen();
    }
}

}  // namespace
}  // namespace rx47
