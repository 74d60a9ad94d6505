// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wave player the program uses: the Qt Multimedia player (QtWavePlayer) lives in a module of its
// own, "rx47-sound.so" in ../lib/rx47-monitor from the program, loaded when a sound is first opened.
// Qt Multimedia brings a dozen audio libraries that only an alarm needs, so the program starts
// without them.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/wave_player.h"

namespace rx47 {

/// The file name of the sound module.
inline constexpr const char* kSoundModule = "rx47-sound.so";

class OnDemandWavePlayer : public WavePlayer {
public:
    /// `moduleFolder`: where else to look for the module when it is not beside the program (the
    /// build's module folder, for a copy of the build's program); empty: nowhere else.
    explicit OnDemandWavePlayer(std::filesystem::path moduleFolder = {});
    ~OnDemandWavePlayer() override;
    OnDemandWavePlayer(const OnDemandWavePlayer&) = delete;
    OnDemandWavePlayer& operator=(const OnDemandWavePlayer&) = delete;

    void setCompletionHandler(std::function<void()> handler) override;
    /// Loads the module first; throws FileError when it cannot be loaded (as without an audio output).
    void open(const std::filesystem::path& file) override;
    void play() override;
    void stop() override;
    void rewind() override;
    void close() override;
    std::chrono::milliseconds length() const override;

    /// Whether the module has been loaded.
    bool loaded() const { return player_ != nullptr; }

private:
    std::filesystem::path moduleFolder_;
    std::function<void()> handler_;
    std::unique_ptr<WavePlayer> player_;  // made by the module, which stays loaded
};

}  // namespace rx47
