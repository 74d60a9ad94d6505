// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/sound_server.h"

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <sstream>

namespace rx47::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

SoundServer::SoundServer() {
    dir_ = fs::temp_directory_path() / ("rx47-sound-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    socket_ = dir_ / "native";
    const std::string native = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string();
    const std::string home = dir_.string();
    server_ = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                 "--use-pid-file=no", "--disable-shm=yes", "-L", "module-null-sink", "-L", native},
        std::vector<std::string>{"HOME=" + home, "XDG_RUNTIME_DIR=" + home, "PULSE_RUNTIME_PATH=" + home,
                                 "PULSE_STATE_PATH=" + home});
    // The socket appears once the server is ready.
    for (int i = 0; i < 200 && server_->started() && !fs::exists(socket_); ++i)
        if (server_->waitForExit(50ms)) return;
}

SoundServer::~SoundServer() {
    if (server_) server_->endWith(SIGTERM, 2s);  // killed after that
    server_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

int SoundServer::streams() const {
    const Finished listed =
        runProgram({"/usr/bin/pactl", "list", "short", "sink-inputs"}, {"PULSE_SERVER=" + address()}, 10s);
    if (listed.exitCode != 0) return -1;
    std::istringstream lines(listed.output);
    int n = 0;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) ++n;
    return n;
}

}  // namespace rx47::test
