// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The wave player of the main window: plays one wave file and reports the end of playback.
//
// Contract (held by the Qt player, the on-demand player that loads it and the scripted double;
// checked by tests/contract):
// - One file at a time: open() closes what was open first, with no completion for it.
// - play() with nothing open (never opened, closed, or an open that failed) throws a Failure; stop(),
//   rewind() and close() with nothing open do nothing, and length() is 0.
// - The completion handler runs once per playback that ends by itself, from the event loop, never
//   inside one of the player's own calls; a playback closed (or replaced by another open) before its
//   end never reports.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>

namespace rx47 {

class WavePlayer {
public:
    virtual ~WavePlayer() = default;
    /// Called on the user-interface thread when a playback has ended (or could not go on).
    virtual void setCompletionHandler(std::function<void()> handler) = 0;
    /// Opens a wave file for playing. Throws a Failure when it cannot be opened or decoded, or when
    /// there is no audio output at all; nothing is open then.
    virtual void open(const std::filesystem::path& file) = 0;
    /// Starts playback from the beginning and returns at once. Throws a Failure when nothing is open
    /// or playback cannot start.
    virtual void play() = 0;
    /// Ends the playback.
    virtual void stop() = 0;
    /// Back to the beginning (every playback starts there anyway).
    virtual void rewind() = 0;
    /// Ends the playback, if any, and closes the file; no completion is reported for it.
    virtual void close() = 0;
    /// The playing time of the open file (0 when unknown or nothing is open).
    virtual std::chrono::milliseconds length() const = 0;
};

}  // namespace rx47
