// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The RX47 simulator: a counter on a pseudo-terminal.
//
// The simulator opens a pseudo-terminal, puts its device side in raw mode at 9600 baud and links it
// at a chosen path (for the program, "ports/COM<n>" in its folder). A worker thread then behaves
// like the counter: every interval it sends a reading (the CPM over the last 60 seconds of Poisson
// counts, a bare number and CR LF; it starts with a minute of counts at the mean rate behind it, as a
// counter that has been on for a while), answers "show" with a status report, and obeys "save", "stop",
// "go" and the "set" commands. Every line it receives is kept (and optionally logged to a file) so
// that tests can check what the program sent.
//
// The fault modes (a radiation spike, silence, garbage, pulling the cable) may be called from any
// thread while the worker runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace rx47sim {

struct Options {
    /// Where the pseudo-terminal is linked (parent folders are created, a stale link replaced).
    /// Empty: not linked; use ptyPath().
    std::filesystem::path link;
    /// The mean count rate of the simulated background, counts per minute.
    double meanCpm = 25;
    /// Seconds between readings; fractions are fine (tests use 0.2).
    double intervalSeconds = 2.0;
    /// Gamma sensitivity coefficient (CPM per 1 µSv/h) and CPM alarm level, before any state file.
    int gms = 120;
    int atc = 100;
    std::uint32_t seed = 47;
    /// Every received line is appended here with a timestamp. Empty: no log.
    std::filesystem::path logFile;
    /// "save" writes gms, atc and snd here; it is read at start when it exists. Empty: not kept.
    std::filesystem::path stateFile;
};

/// The device's own settings, as "show" reports them.
struct DeviceSettings {
    int gms = 0;
    int atc = 0;
    bool sound = true;
};

class Simulator {
public:
    /// Creates the pseudo-terminal, links it and starts the worker. Throws std::runtime_error when the
    /// pseudo-terminal or the link cannot be made.
    explicit Simulator(Options options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    /// Stops the worker, closes the pseudo-terminal and removes the link. Idempotent.
    void stop();

    /// The device side of the current pseudo-terminal ("" while unplugged).
    std::string ptyPath() const;
    /// The link path currently in use ("" when not linked).
    std::filesystem::path linkPath() const;
    bool isPlugged() const;

    /// Every line received so far (without its line end), oldest first.
    std::vector<std::string> receivedLines() const;

    DeviceSettings settings() const;
    long long totalCount() const;
    /// Whether readings are paused by "stop".
    bool isStopped() const;
    void setMeanCpm(double cpm);

    // Fault modes.
    /// For the next `seconds`, counts arrive at `cpm` and the readings show that rate at once (a source
    /// held to the tube); afterwards the window drains back over a minute.
    void spike(double cpm, double seconds);
    /// A silent device sends nothing of its own: no readings, no reports. (sendGarbage and sendRaw
    /// still get through: they stand for the line, not the device.)
    void silence(bool on);
    /// Writes a burst of random bytes (with non-ASCII ones) and a stray negative reading "-5\r\n".
    void sendGarbage();
    /// Writes exactly these bytes (dropped while unplugged or when nobody reads).
    void sendRaw(const std::string& bytes);
    /// Pulls the cable: closes the pseudo-terminal and removes the link. A program with the port open
    /// sees the device go away.
    void unplug();
    /// Plugs in again: a new pseudo-terminal, linked at `link` (empty: the link given at start).
    void plugIn(const std::filesystem::path& link = {});

private:
    using Clock = std::chrono::steady_clock;

    void run();
    // The helpers below expect mutex_ to be held.
    void openPty(const std::filesystem::path& link);
    void closePty();
    void writeToDevice(const std::string& bytes);
    void readFromDevice();
    void handleLine(const std::string& line);
    void generateCounts(Clock::time_point now);
    int currentReading();
    std::string statusReport() const;
    void loadState();
    void saveState() const;
    void logLine(const std::string& line);
    void wake();

    Options options_;
    mutable std::mutex mutex_;
    std::thread worker_;
    bool stopping_ = false;
    bool stopped_ = false;  // stop() done

    int master_ = -1;
    int slave_ = -1;          // held open so the master never sees a hang-up
    unsigned plugCount_ = 0;  // tells the worker that the pseudo-terminal it polled was replaced
    std::string ptyPath_;
    std::filesystem::path link_;
    int wakePipe_[2] = {-1, -1};

    std::mt19937 random_;
    DeviceSettings settings_;
    double meanCpm_;
    long long totalCount_ = 0;
    bool paused_ = false;
    bool silent_ = false;
    double spikeCpm_ = 0;
    Clock::time_point spikeEnd_{};
    Clock::time_point started_;
    long long secondsGenerated_ = 0;
    std::deque<int> window_;  // counts of the last (up to) 60 seconds
    Clock::time_point nextReading_;

    std::string pendingInput_;
    std::vector<std::string> received_;
    std::ofstream log_;
};

}  // namespace rx47sim
