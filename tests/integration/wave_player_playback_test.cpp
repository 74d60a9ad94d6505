// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Real playback through the QSoundEffect wave player into a PulseAudio null sink: the player itself
// reports the end of the sound, the program's events are served meanwhile, and a player that was
// closed never reports again. The test starts its own sound server (and ends it); without one that
// starts, the tests are skipped.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QTimer>

#include "base/failure.h"
#include "monitor/alarm_sound.h"
#include "platform/qt/on_demand_wave_player.h"
#include "platform/qt/qt_event_pump.h"
#include "storage/program_folder.h"
#include "support/fakes.h"
#include "support/program_folder.h"
#include "support/qt_events.h"
#include "support/sound_server.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using rx47::test::runEventsFor;
using rx47::test::SoundServer;

SoundServer* server = nullptr;

class SoundEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<SoundServer>();
        server = server_.get();
        // Only this server, never one of the machine's.
        ::setenv("PULSE_SERVER", server_->running() ? server_->address().c_str() : "unix:/nonexistent", 1);
    }
    void TearDown() override {
        server = nullptr;
        server_.reset();
    }

private:
    std::unique_ptr<SoundServer> server_;
};
[[maybe_unused]] const auto* const kSoundEnvironment = ::testing::AddGlobalTestEnvironment(new SoundEnvironment);

}  // namespace

namespace rx47 {
namespace {

/// The real player, counting the ends it reports itself (the watchdog's ends are not counted).
class CountingPlayer : public WavePlayer {
public:
    void setCompletionHandler(std::function<void()> handler) override {
        real.setCompletionHandler([this, handler = std::move(handler)] {
            ++reported;
            if (handler) handler();
        });
    }
    void open(const std::filesystem::path& file) override { real.open(file); }
    void play() override { real.play(); }
    void stop() override { real.stop(); }
    void rewind() override { real.rewind(); }
    void close() override { real.close(); }
    std::chrono::milliseconds length() const override { return real.length(); }

    OnDemandWavePlayer real;  // the program's: the player in the sound module
    int reported = 0;
};

/// The Qt event pump with a clock that runs ten times slower, so that the watchdog cannot end a wait
/// before a slow machine's player does; a player that never reports still ends the test.
class PatientPump : public EventPump {
public:
    void processEvents(std::chrono::milliseconds maxWait) override { real_.processEvents(maxWait); }
    std::chrono::milliseconds now() const override { return (real_.now() - start_) / 10; }

private:
    QtEventPump real_;
    std::chrono::milliseconds start_ = real_.now();
};

struct PlaybackParts : test::Fakes {
    using Player = CountingPlayer;
    using Pump = PatientPump;
};

struct Playback : ::testing::Test {
    test::BasicTestMonitor<PlaybackParts> m;
    CountingPlayer& player = m.player;
    Context& ctx = m.ctx;

    void SetUp() override {
        if (!server || !server->running()) GTEST_SKIP() << "no PulseAudio server could be started";
        if (QMediaDevices::audioOutputs().isEmpty()) GTEST_SKIP() << "the sound server shows no output";
        fs::copy_file(test::suppliedSound(), m.folder.path() / kAlarmSoundFile);
    }
};

TEST_F(Playback, ThePlayerReportsTheEndEventsAreServedMeanwhileAndASecondSoundInsideTheWaitEndsBothWaits) {
    int ticks = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    other.start(100);
    bool innerReturned = false;
    QTimer::singleShot(300ms, [&] {
        playAlarmSound(ctx);
        innerReturned = true;
    });
    playAlarmSound(ctx);
    EXPECT_TRUE(innerReturned);
    EXPECT_TRUE(m.values.soundFinished);
    // The end came from the player, not from the watchdog; the replaced playback reports nothing.
    EXPECT_EQ(player.reported, 1);
    EXPECT_GT(ticks, 0);
}

// The wave player's contract for playback (platform/wave_player.h), held alike by the scripted double
// the core's tests run on and by the program's player on the sound server.

/// The double: a sound plays out once its length of time has passed.
struct ScriptedRig {
    static constexpr const char* kName = "Scripted";
    test::ScriptedWavePlayer player;
    std::chrono::milliseconds passed{0};
    bool available() const { return true; }
    void runFor(std::chrono::milliseconds time) {
        passed += time;
        if (passed < player.playLength) return;
        passed = {};
        player.finish();
    }
    /// A playback that was going has run out.
    bool waitUntilSilent() {
        runFor(player.playLength);
        return true;
    }
};

/// The program's player, playing into the null sink.
struct SoundRig {
    static constexpr const char* kName = "Sound";
    OnDemandWavePlayer player;
    bool available() const { return server && server->running() && !QMediaDevices::audioOutputs().isEmpty(); }
    void runFor(std::chrono::milliseconds time) { runEventsFor(time); }
    /// No playback reaches the sound server any more: none that was going can end by itself now.
    bool waitUntilSilent() {
        for (int i = 0; i < 300; ++i) {
            if (server->streams() == 0) return true;
            runEventsFor(100ms);
        }
        return false;
    }
};

template <class Rig>
struct WavePlayerPlayback : ::testing::Test {
    Rig rig;
    WavePlayer& player = rig.player;
    int completions = 0;

    void SetUp() override {
        if (!rig.available()) GTEST_SKIP() << "no sound server with an output";
        player.setCompletionHandler([this] { ++completions; });
    }
    /// Lets time pass until a report comes, for at most the sound's length several times over.
    void waitForReport() {
        for (int i = 0; i < 300 && completions == 0; ++i) rig.runFor(100ms);
    }
};

using Rigs = ::testing::Types<ScriptedRig, SoundRig>;
TYPED_TEST_SUITE(WavePlayerPlayback, Rigs, test::RigNames);

TYPED_TEST(WavePlayerPlayback, APlaybackReportsItsEndOnceAndNeverInsideACall) {
    this->player.open(test::suppliedSound());
    EXPECT_GT(this->player.length(), 0ms);
    this->player.play();
    EXPECT_EQ(this->completions, 0);
    this->waitForReport();
    EXPECT_EQ(this->completions, 1);
    this->player.close();
}

TYPED_TEST(WavePlayerPlayback, AClosedOrReplacedPlaybackNeverReports) {
    this->player.open(test::suppliedSound());
    this->player.play();
    this->player.open(test::suppliedSound());  // replaces the playback going on
    this->player.play();
    this->rig.runFor(200ms);
    this->player.stop();
    this->player.close();
    ASSERT_TRUE(this->rig.waitUntilSilent());
    EXPECT_EQ(this->completions, 0);

    // And the next playback opens and plays again: its end is the one report (one of the others, had
    // it come, would have come before).
    this->player.open(test::suppliedSound());
    this->player.play();
    this->waitForReport();
    EXPECT_EQ(this->completions, 1);
}

}  // namespace
}  // namespace rx47
