// The wave player of the main window: plays one wave file and reports the end of playback.
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
    /// there is no audio output at all.
    virtual void open(const std::filesystem::path& file) = 0;
    /// Starts playback and returns at once. Throws a Failure when playback cannot start.
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void rewind() = 0;
    virtual void close() = 0;
    /// The playing time of the open file (0 when unknown).
    virtual std::chrono::milliseconds length() const = 0;
};

}  // namespace rx47
