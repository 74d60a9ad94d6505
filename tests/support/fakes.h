// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// Test doubles of the platform interfaces: virtual time, a settable clock, an in-memory serial port
// and a desktop that records what it was asked.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "base/log.h"
#include "model/timers.h"
#include "platform/clock.h"
#include "platform/command_runner.h"
#include "platform/desktop.h"
#include "platform/event_pump.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "platform/wave_player.h"

namespace rx47::test {

/// Names the rigs of a typed suite that holds doubles and adapters to one contract: each rig says
/// its own in `kName`.
struct RigNames {
    template <class Rig>
    static std::string GetName(int) {
        return Rig::kName;
    }
};

/// Timers in virtual time: advance() fires the due ticks in time order (ties by index). It holds the
/// array's contract as the Qt timers do, advance() standing for the event loop.
class VirtualTimerArray : public TimerArray {
public:
    /// An array of the timers with these indices (the program's, unless a test says otherwise).
    explicit VirtualTimerArray(std::span<const int> indices = timer::kAll) : indices_(indices.begin(), indices.end()) {}
    void setInterval(int index, int milliseconds) override;
    void start(int index) override;
    void stop(int index) override;
    bool isRunning(int index) const override;
    void setSingleShot(int index, bool singleShot) override;
    /// Virtual time has no wake-ups to share: a coarse timer ticks on time.
    void setCoarse(int, bool) override {}
    void setTickHandler(TickHandler handler) override { handler_ = std::move(handler); }

    /// Moves time on by `milliseconds`, firing every tick that falls due.
    void advance(long milliseconds);
    long now() const { return now_; }
    /// When a running timer ticks next (virtual milliseconds); -1 for a stopped one.
    long dueAt(int index) const;
    /// Every tick fired so far, by index, in order.
    const std::vector<int>& fired() const { return fired_; }
    /// Forgets the ticks fired so far (a long run keeps its memory flat).
    void forgetFired() { fired_.clear(); }

private:
    struct Timer {
        int interval = 0;
        bool running = false;
        bool singleShot = false;
        bool singleShotArmed = false;  ///< the kind it was started with
        long due = 0;
    };
    bool has(int index) const { return indices_.count(index) != 0; }

    std::set<int> indices_;
    std::map<int, Timer> timers_;
    TickHandler handler_;
    long now_ = 0;
    std::vector<int> fired_;
};

class SettableClock : public Clock {
public:
    LocalDateTime now() const override { return time; }
    LocalDateTime time{2026, 5, 7, 9, 30, 0};
};

/// A serial port in memory, holding the port's contract as the Qt port does. `devices` says which
/// port numbers open; `received` is what the device has sent and the program not yet read; `sent`
/// collects what the program wrote.
class MemorySerialPort : public SerialPort {
public:
    bool open(int portNumber) override;
    void close() override;
    bool isOpen() const override { return open_; }
    int portNumber() const override { return number_; }
    PortOpenFailure lastOpenFailure() const override { return failure_; }
    PortOpenFailure probe(int portNumber) override;
    void write(std::string_view text) override;
    std::string readAll() override;
    void clearInput() override { received.clear(); }  // nothing to keep on a closed port either
    void setDataReceivedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    /// The device sends text: it lands in the buffer and the data-received handler runs. Nothing
    /// arrives at a closed port.
    void deliver(const std::string& text);
    /// The device goes away: the port closes, as the Qt port does at the line's first error.
    void unplug() { close(); }

    std::set<int> devices;
    std::set<int> refused;                   ///< ports whose device is there but may not be opened by this user
    std::map<int, PortOpenFailure> failing;  ///< ports that fail to open just so (a lock holder, say)
    std::string received;
    std::vector<std::string> sent;  ///< each write, as written
    std::vector<int> opened;        ///< every port number open() or probe() was asked for
    /// Writes fail although the port reads as open: a device gone before the port has noticed.
    bool failWrites = false;

private:
    /// Why port n does not open; problem None for a device.
    PortOpenFailure failureOf(int portNumber) const;

    bool open_ = false;
    int number_ = 0;
    PortOpenFailure failure_;
    std::function<void()> handler_;
};

/// A desktop that records what it was asked. The settings dialog, when opened, runs `onSetupDialog`.
class RecordingDesktop : public Desktop {
public:
    void showSplash() override { ++splashShown; }
    void closeSplash() override { ++splashClosed; }
    bool trayAvailable() const override { return hasTray; }
    void addTrayIcon() override {
        if (hasTray) trayIcons = 1;
    }
    void removeTrayIcon() override { trayIcons = 0; }
    bool trayIconShown() const override { return trayIcons > 0; }
    bool mainWindowActive() const override { return windowActive; }
    void raiseMainWindow() override { ++raised; }
    void notify(const Notification& notification) override { notifications.push_back(notification); }
    void showSetupDialog() override {
        ++setupDialogs;
        if (onSetupDialog) onSetupDialog();
    }
    std::optional<Colour> pickColour() override {
        ++pickerOpened;
        return pickedColour;
    }
    void showMessage(const std::string& text) override { messages.push_back(text); }

    int splashShown = 0;
    int splashClosed = 0;
    bool hasTray = true;
    int trayIcons = 0;
    bool windowActive = true;
    int raised = 0;
    std::vector<Notification> notifications;
    int setupDialogs = 0;
    std::function<void()> onSetupDialog;
    int pickerOpened = 0;
    std::optional<Colour> pickedColour;  ///< what the user picks; nothing: the user cancels
    std::vector<std::string> messages;
};

/// A wave player that plays nothing; a test says when playback ends (`finish()`), or makes open or
/// play fail. It keeps the player's contract: play() needs an open file, and only a playback still
/// going reports its end.
class ScriptedWavePlayer : public WavePlayer {
public:
    void setCompletionHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void open(const std::filesystem::path& file) override;
    void play() override;
    void stop() override;
    void rewind() override { commands.push_back("Rew"); }
    void close() override;
    std::chrono::milliseconds length() const override { return open_ ? playLength : std::chrono::milliseconds{0}; }
    /// The playback ends by itself: the completion handler runs, when one is going.
    void finish();

    bool failOpen = false;
    std::string failure = "cannot open the sound";  ///< what a failing open says
    bool failPlay = false;
    std::chrono::milliseconds playLength{1000};
    std::vector<std::string> commands;

private:
    std::function<void()> handler_;
    bool open_ = false;
    bool playing_ = false;
};

/// An event pump that runs the test's script: each call of processEvents() runs the next step
/// (if any) and moves its clock on by the wait.
class ScriptedEventPump : public EventPump {
public:
    void processEvents(std::chrono::milliseconds maxWait) override;
    std::chrono::milliseconds now() const override { return now_; }

    std::vector<std::function<void()>> script;
    int calls = 0;

private:
    std::size_t next_ = 0;
    std::chrono::milliseconds now_{0};
};

/// A command runner that runs nothing: it keeps each start, stays running until the test says how
/// the command ended (`finish()`), or refuses to start (`refuse`). As the QProcess runner, it refuses
/// a start while a command runs.
class RecordingCommandRunner : public CommandRunner {
public:
    struct Run {
        std::string program;
        std::vector<std::string> arguments;
        Environment environment;
        /// The value of an added variable ("" when it was not added).
        std::string variable(const std::string& name) const {
            for (const auto& [n, v] : environment)
                if (n == name) return v;
            return "";
        }
    };
    void setFinishedHandler(std::function<void(const CommandExit&)> handler) override { handler_ = std::move(handler); }
    void setTimeLimit(std::chrono::milliseconds limit) override { timeLimit = limit; }
    CommandStart start(const std::string& program, const std::vector<std::string>& arguments,
                       const Environment& environment) override {
        if (running_) return {false, "a command still runs"};
        if (!refuse.empty()) return {false, refuse};
        runs.push_back({program, arguments, environment});
        running_ = true;
        return {true, {}};
    }
    bool running() const override { return running_; }
    /// The running command ends: the finished handler hears how. Nothing when none runs.
    void finish(CommandExit exit = {}) {
        if (!running_) return;
        running_ = false;
        if (handler_) handler_(exit);
    }

    std::vector<Run> runs;
    std::string refuse;                      ///< not empty: start() fails with these words
    std::chrono::milliseconds timeLimit{0};  ///< as last set

private:
    bool running_ = false;
    std::function<void(const CommandExit&)> handler_;
};

/// A log sink that keeps every line, for tests that a failure was (or was not) reported.
class RecordingLogSink : public LogSink {
public:
    struct Line {
        LogLevel level;
        LogCategory category;
        std::string message;
    };
    void write(LogLevel level, LogCategory category, std::string_view message) override {
        lines.push_back({level, category, std::string(message)});
    }
    /// How many lines of the category hold `text`.
    int count(LogCategory category, std::string_view text = {}) const {
        int n = 0;
        for (const Line& l : lines)
            if (l.category == category && l.message.find(text) != std::string::npos) ++n;
        return n;
    }
    std::vector<Line> lines;
};

}  // namespace rx47::test
