// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The alarm sound and its wait, over the scripted player and event pump: the end of playback, the
// ways a wait is ended without one, a second sound inside the wait, and the alarm tick that waits.
#include <gtest/gtest.h>

#include <fstream>

#include "monitor/alarm_sound.h"
#include "monitor/alarms.h"
#include "monitor/timer_schedule.h"
#include "support/program_folder.h"
#include "ui/controls.h"

namespace rx47 {
namespace {

using namespace std::chrono_literals;
using test::TestMonitor;
using Commands = std::vector<std::string>;

struct AlarmSound : ::testing::Test {
    TestMonitor m;
    void SetUp() override { std::ofstream(m.folder.path() / "RX47.wav") << "RIFF"; }
};

TEST_F(AlarmSound, WithoutTheFileThereIsNoSoundAndNoWait) {
    std::filesystem::remove(m.folder.path() / "RX47.wav");
    playAlarmSound(m.ctx);
    EXPECT_TRUE(m.player.commands.empty());
    EXPECT_EQ(m.pump.calls, 0);
    EXPECT_FALSE(m.values.soundFinished);
}

TEST_F(AlarmSound, TheWaitServesEventsUntilThePlayerReportsTheEnd) {
    m.pump.script = {[&] { EXPECT_FALSE(m.values.soundFinished); },
                     [&] {
                         EXPECT_EQ(m.player.commands, (Commands{"Open RX47.wav", "Play"}));
                         m.player.finish();
                     },
                     [&] { ADD_FAILURE() << "waited on after the end"; }};
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.pump.calls, 2);
    EXPECT_TRUE(m.values.soundFinished);
    // The player is closed again, so the next sound opens the file anew.
    EXPECT_EQ(m.player.commands, (Commands{"Open RX47.wav", "Play", "Stop", "Rew", "Close"}));
}

TEST_F(AlarmSound, APlaybackThatCannotStartEndsAtOnceWithThePlayerClosed) {
    for (bool failOpen : {true, false}) {
        m.player.commands.clear();
        m.player.failOpen = failOpen;
        m.player.failPlay = !failOpen;
        playAlarmSound(m.ctx);
        EXPECT_EQ(m.pump.calls, 0);
        EXPECT_TRUE(m.values.soundFinished);
        EXPECT_EQ(m.player.commands, (failOpen ? Commands{"Open RX47.wav", "Stop", "Rew", "Close"}
                                               : Commands{"Open RX47.wav", "Play", "Stop", "Rew", "Close"}));
    }
}

TEST_F(AlarmSound, ASoundThatCannotPlayIsShownOnceUntilASoundPlaysAgain) {
    m.player.failOpen = true;
    m.player.failure = "no audio output";
    playAlarmSound(m.ctx);
    EXPECT_TRUE(m.form.notice.visible);
    EXPECT_EQ(m.form.notice.caption, "警報音を鳴らせません（音声出力がありません）");
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.logLines.count(LogCategory::Sound, "cannot play"), 1);

    std::filesystem::rename(m.folder.path() / "RX47.wav", m.folder.path() / "other.wav");
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.form.notice.caption, "警報音を鳴らせません（RX47.wav がありません）");

    std::filesystem::rename(m.folder.path() / "other.wav", m.folder.path() / "RX47.wav");
    m.player.failOpen = false;
    m.pump.script = {[&] { m.player.finish(); }};
    playAlarmSound(m.ctx);
    EXPECT_FALSE(m.form.notice.visible);
    EXPECT_EQ(m.logLines.count(LogCategory::Sound, "plays again"), 1);
}

TEST_F(AlarmSound, TheWatchdogEndsAWaitThePlayerNeverEnds) {
    m.player.playLength = 1500ms;
    playAlarmSound(m.ctx);
    EXPECT_TRUE(m.values.soundFinished);
    EXPECT_EQ(m.pump.now(), 1500ms + kSoundWatchdogMargin);
    EXPECT_EQ(m.player.commands.back(), "Close");

    // A player that does not know the length gets the longest wait.
    const auto start = m.pump.now();
    m.player.playLength = 0ms;
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.pump.now() - start, kSoundUnknownLength + kSoundWatchdogMargin);
}

TEST_F(AlarmSound, ASecondSoundInsideTheWaitRestartsItAndBothWaitsEndWithIt) {
    m.pump.script = {[&] { playAlarmSound(m.ctx); }, [&] { m.player.finish(); }};
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.pump.calls, 2);
    EXPECT_TRUE(m.values.soundFinished);
    EXPECT_EQ(m.player.commands, (Commands{"Open RX47.wav", "Play", "Open RX47.wav", "Play", "Stop", "Rew", "Close"}));
}

TEST_F(AlarmSound, ASecondSoundThatCannotStartEndsTheFirstWaitToo) {
    m.pump.script = {[&] {
        m.player.failOpen = true;
        playAlarmSound(m.ctx);
    }};
    playAlarmSound(m.ctx);
    EXPECT_EQ(m.pump.calls, 1);
    EXPECT_EQ(m.player.commands.back(), "Close");
}

/// The alarm raised by the intake, with the sound on.
struct AlarmWithSound : AlarmSound {
    void SetUp() override {
        AlarmSound::SetUp();
        m.connectDevice();
        m.state.isLoading = false;
    }
    void readThree(int cpm) {
        for (int i = 0; i < 3; ++i) m.read(cpm);
    }
};

TEST_F(AlarmWithSound, TheAlarmTickWaitsForTheSoundWhileTheFlashGoesOn) {
    bool soundEnded = false;
    m.pump.script = {[&] {
                         m.timers.advance(1000);  // a flash tick inside the wait
                         EXPECT_TRUE(m.form.Label[kAlarmBanner].visible);
                     },
                     [&] {
                         m.player.finish();
                         soundEnded = true;
                     }};
    m.read(150);
    m.read(150);
    EXPECT_TRUE(m.player.commands.empty());
    m.read(150);
    EXPECT_TRUE(soundEnded);
    EXPECT_TRUE(m.timers.isRunning(timer::kAlarmFlash));
    EXPECT_TRUE(m.form.Label[kAlarmBanner].visible);
    m.timers.advance(1000);
    EXPECT_FALSE(m.form.Label[kAlarmBanner].visible);
}

TEST_F(AlarmWithSound, AcknowledgedWhileItsSoundPlaysTheAlarmEndsAndTheReadingCountsNoFurther) {
    // 150 CPM is above both levels: the reading that raised the CPM alarm must not go on to count
    // for the dose once the operator has acknowledged the alarm inside the sound's wait.
    m.pump.script = {[&] { cmd_Click(m.ctx, 0); }, [&] { m.player.finish(); }};
    readThree(150);
    EXPECT_FALSE(m.timers.isRunning(timer::kAlarmFlash));
    EXPECT_FALSE(m.form.Label[kAlarmBanner].visible);
    EXPECT_EQ(m.form.Label[kAlarmBanner].caption, kCpmAlarmText);
    EXPECT_EQ(m.state.doseAlarmHits, 0);
    EXPECT_EQ(m.player.commands.size(), 5u);  // one sound
}

TEST_F(AlarmWithSound, WithSoundOffTheAlarmDoesNotWait) {
    m.setSetting("sound", std::int64_t{0});
    readThree(150);
    EXPECT_TRUE(m.timers.isRunning(timer::kAlarmFlash));
    EXPECT_TRUE(m.player.commands.empty());
    EXPECT_EQ(m.pump.calls, 0);
}

}  // namespace
}  // namespace rx47
