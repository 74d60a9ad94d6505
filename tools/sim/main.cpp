// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// rx47-sim: an RX47 counter on a pseudo-terminal, for trying the monitor without the hardware.
//
// Prints the pseudo-terminal's device path (first line) and the link, then runs until SIGINT or
// SIGTERM. Commands typed on (or piped into) standard input inject faults; the end of standard input
// does not end the simulator.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

#include "sim/simulator.h"

namespace {

constexpr const char* kUsage =
    "usage: rx47-sim --link PATH [--cpm MEAN] [--interval SECONDS] [--gms N] [--atc N]\n"
    "                [--log FILE] [--state FILE] [--seed N]\n"
    "       rx47-sim --help | --version\n"
    "\n"
    "Simulates an RX47 counter on a pseudo-terminal linked at PATH (for the monitor: ports/COM<n> in\n"
    "its program folder). Prints the pseudo-terminal's path, then runs until interrupted.\n"
    "\n"
    "  --link PATH         where to link the pseudo-terminal (folders are created)\n"
    "  --cpm MEAN          mean count rate, counts per minute (default 25)\n"
    "  --interval SECONDS  time between readings, fractions allowed (default 2)\n"
    "  --gms N             gamma sensitivity coefficient, CPM per 1 uSv/h (default 120)\n"
    "  --atc N             CPM alarm level (default 100)\n"
    "  --log FILE          append every line received, with a timestamp\n"
    "  --state FILE        settings kept by \"save\", read at start\n"
    "  --seed N            seed of the count generator (default: random)\n"
    "\n"
    "Commands on standard input:\n"
    "  spike CPM SECONDS   a burst of radiation\n"
    "  silence on|off      stop or resume sending anything\n"
    "  cpm MEAN            change the mean count rate\n"
    "  garbage             send line noise\n"
    "  unplug              pull the cable (the link goes away)\n"
    "  plug                plug in again (prints the new pseudo-terminal)\n"
    "  quit                end, as on SIGTERM\n";

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

std::optional<long> parseWhole(const std::string& text) {
    const auto value = parseNumber(text);
    if (!value || *value != static_cast<double>(static_cast<long>(*value))) return std::nullopt;
    return static_cast<long>(*value);
}

/// The options, each followed by its value.
constexpr std::string_view kValueOptions[] = {"--link", "--cpm", "--interval", "--gms",
                                              "--atc",  "--log", "--state",    "--seed"};

[[noreturn]] void badUsage(const std::string& message) {
    std::cerr << "rx47-sim: " << message << "\n\n" << kUsage;
    std::exit(2);
}

rx47sim::Options parseArguments(int argc, char** argv) {
    rx47sim::Options options;
    options.seed = std::random_device{}();
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (name == "--version") {
            std::cout << "rx47-sim " << RX47_VERSION << '\n';
            std::exit(0);
        }
        if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) == std::end(kValueOptions))
            badUsage(name.starts_with('-') ? "unknown option " + name : "unexpected argument " + name);
        if (i + 1 >= argc) badUsage("missing value after " + name);
        const std::string value = argv[++i];
        // A file named like an option is a forgotten value (write ./-name for such a file).
        const bool names = name == "--link" || name == "--log" || name == "--state";
        if (names && (value.empty() || value.starts_with('-'))) badUsage("missing value after " + name);
        auto whole = [&] {
            const auto n = parseWhole(value);
            if (!n || *n < 0) badUsage("not a whole number for " + name + ": " + value);
            return *n;
        };
        if (name == "--link") {
            options.link = value;
        } else if (name == "--cpm") {
            const auto n = parseNumber(value);
            if (!n || *n < 0) badUsage("not a count rate: " + value);
            options.meanCpm = *n;
        } else if (name == "--interval") {
            const auto n = parseNumber(value);
            if (!n || *n <= 0) badUsage("not an interval: " + value);
            options.intervalSeconds = *n;
        } else if (name == "--gms") {
            options.gms = static_cast<int>(whole());
        } else if (name == "--atc") {
            options.atc = static_cast<int>(whole());
        } else if (name == "--log") {
            options.logFile = value;
        } else if (name == "--state") {
            options.stateFile = value;
        } else if (name == "--seed") {
            options.seed = static_cast<std::uint32_t>(whole());
        }
    }
    if (options.link.empty()) badUsage("--link is required");
    return options;
}

bool stdinIsInteractive() {
    struct stat st {};
    if (::fstat(STDIN_FILENO, &st) != 0) return false;
    return ::isatty(STDIN_FILENO) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
}

void runCommand(rx47sim::Simulator& sim, const std::string& line) {
    std::istringstream words(line);
    std::string verb, a, b;
    words >> verb >> a >> b;
    if (verb.empty()) return;
    try {
        if (verb == "spike") {
            const auto cpm = parseNumber(a);
            const auto seconds = parseNumber(b);
            if (!cpm || !seconds) throw std::invalid_argument("usage: spike CPM SECONDS");
            sim.spike(*cpm, *seconds);
        } else if (verb == "silence" && (a == "on" || a == "off")) {
            sim.silence(a == "on");
            std::cout << "silence " << a << std::endl;  // in force from now on
        } else if (verb == "cpm") {
            const auto cpm = parseNumber(a);
            if (!cpm) throw std::invalid_argument("usage: cpm MEAN");
            sim.setMeanCpm(*cpm);
        } else if (verb == "garbage") {
            sim.sendGarbage();
        } else if (verb == "unplug") {
            sim.unplug();
        } else if (verb == "plug") {
            sim.plugIn();
            std::cout << sim.ptyPath() << std::endl;
        } else if (verb == "quit") {
            ::kill(::getpid(), SIGTERM);
        } else {
            throw std::invalid_argument("unknown command: " + line);
        }
    } catch (const std::exception& e) {
        std::cerr << "rx47-sim: " << e.what() << std::endl;
    }
}

/// Reads commands from standard input until something is written to `quitFd`.
void readCommands(rx47sim::Simulator& sim, int quitFd) {
    std::string pending;
    bool inputOpen = true;
    for (;;) {
        pollfd fds[2] = {{quitFd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, inputOpen ? 2 : 1, -1) < 0 && errno != EINTR) return;
        if (fds[0].revents != 0) return;
        if (!inputOpen || fds[1].revents == 0) continue;
        char buffer[512];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EIO)) {
            inputOpen = false;  // end of input: keep running until signalled
        } else if (n < 0 && errno == EIO) {
            // A background job reading its terminal: wait a while, it may be brought to the foreground.
            pollfd quit{quitFd, POLLIN, 0};
            if (::poll(&quit, 1, 1000) > 0) return;
        } else if (n > 0) {
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t end;
            while ((end = pending.find('\n')) != std::string::npos) {
                runCommand(sim, pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const rx47sim::Options options = parseArguments(argc, argv);

    // SIGINT and SIGTERM are blocked in every thread and collected by sigwait below. A background job
    // reading the terminal gets EIO instead of being stopped.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
    ::signal(SIGTTIN, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);

    std::optional<rx47sim::Simulator> sim;
    try {
        sim.emplace(options);
    } catch (const std::exception& e) {
        std::cerr << "rx47-sim: " << e.what() << std::endl;
        return 1;
    }
    std::cout << sim->ptyPath() << '\n' << "linked at " << options.link.string() << std::endl;

    int quitPipe[2] = {-1, -1};
    std::thread commandReader;
    if (stdinIsInteractive() && ::pipe(quitPipe) == 0)
        commandReader = std::thread(readCommands, std::ref(*sim), quitPipe[0]);

    int signal = 0;
    while (sigwait(&endSignals, &signal) != 0) {
    }

    if (commandReader.joinable()) {
        const char byte = 1;
        if (::write(quitPipe[1], &byte, 1) < 0) std::cerr << "rx47-sim: " << std::strerror(errno) << std::endl;
        commandReader.join();
        ::close(quitPipe[0]);
        ::close(quitPipe[1]);
    }
    sim->stop();
    return 0;
}
