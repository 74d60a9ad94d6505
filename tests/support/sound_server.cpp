// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/sound_server.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "support/process.h"

namespace rx47::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

SoundServer::SoundServer() {
    dir_ = fs::temp_directory_path() / ("rx47-sound-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    socket_ = dir_ / "native";
    const std::string native = "module-native-protocol-unix auth-anonymous=1 socket=" + socket_.string();
    const std::string log = (dir_ / "log").string();
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
            ::setenv(name, dir_.c_str(), 1);
        if (!std::freopen(log.c_str(), "w", stdout) || !std::freopen(log.c_str(), "a", stderr)) ::_exit(1);
        ::execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                 "--disable-shm=yes", "-L", "module-null-sink", "-L", native.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) return;
    // The socket appears once the server is ready.
    for (int i = 0; i < 200 && !fs::exists(socket_); ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(50ms);
    }
}

SoundServer::~SoundServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) std::this_thread::sleep_for(20ms);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }
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
