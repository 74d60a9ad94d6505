// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A PulseAudio server with one null sink, private to one test process, for the tests that play sound.
#pragma once

#include <sys/types.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "support/process.h"

namespace rx47::test {

/// No sound server is ever reached, as on a computer without sound: set before the application starts.
struct NoSoundServer : ::testing::Environment {
    void SetUp() override { ::setenv("PULSE_SERVER", "unix:/nonexistent/rx47-no-sound-server", 1); }
};

/// Its own runtime folder and socket, anonymous access, ended with the test (and by the kernel
/// should the test die). Not running when pulseaudio cannot be started here.
class SoundServer {
public:
    SoundServer();
    ~SoundServer();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool running() const { return server_ && server_->started() && std::filesystem::exists(socket_); }
    /// The value for PULSE_SERVER.
    std::string address() const { return "unix:" + socket_.string(); }
    /// How many playbacks reach the server now (its sink inputs), -1 when it cannot say.
    int streams() const;

private:
    std::filesystem::path dir_;
    std::filesystem::path socket_;
    std::unique_ptr<Process> server_;
};

}  // namespace rx47::test
