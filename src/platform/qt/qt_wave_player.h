// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wave player on QSoundEffect, playing to the desktop's default audio output.
//
// QSoundEffect reports nothing at all when there is no audio output, and a file it cannot load only
// through its status later on. So open() fails at once without an output or with a file that is not
// a PCM wave file (the header also gives the playing time for the caller's watchdog), and the end of
// a playback is whichever comes first: playing stops, or the status turns to Error.
#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "platform/wave_player.h"

class QSoundEffect;

namespace rx47 {

/// The playing time of a PCM wave file, from its header. Throws FileError when the file cannot be
/// read or is not a wave file.
std::chrono::milliseconds waveFileLength(const std::filesystem::path& file);

class QtWavePlayer : public QObject, public WavePlayer {
    Q_OBJECT
public:
    explicit QtWavePlayer(QObject* parent = nullptr);
    ~QtWavePlayer() override;
    QtWavePlayer(const QtWavePlayer&) = delete;
    QtWavePlayer& operator=(const QtWavePlayer&) = delete;

    /// The handler runs from the event loop, never inside one of the player's own calls.
    void setCompletionHandler(std::function<void()> handler) override;
    /// Throws FileError without an audio output, or when the file is not a wave file. Opening while
    /// a file is open closes that first, without a completion.
    void open(const std::filesystem::path& file) override;
    /// Throws FileError when nothing is open or the file failed to load.
    void play() override;
    void stop() override;
    /// Nothing to do: every playback starts from the beginning.
    void rewind() override;
    void close() override;
    std::chrono::milliseconds length() const override { return length_; }

private:
    /// The playback `playback` has ended by itself: report it once, from the event loop.
    void playbackEnded(std::uint64_t playback);

    std::function<void()> handler_;
    QSoundEffect* effect_ = nullptr;
    std::chrono::milliseconds length_{0};
    std::uint64_t playback_ = 0;  ///< counts opens and closes; a report of an earlier playback is dropped
    bool playing_ = false;        ///< started and neither stopped nor reported yet
};

}  // namespace rx47
