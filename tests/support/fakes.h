// Test doubles of the platform interfaces: virtual time, a settable clock, an in-memory serial port
// and a desktop that records what it was asked.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"

namespace rx47::test {

/// Timers in virtual time: advance() fires the due ticks in time order (ties by index).
class VirtualTimerArray : public TimerArray {
public:
    void setInterval(int index, int milliseconds) override;
    void start(int index) override;
    void stop(int index) override;
    bool isRunning(int index) const override;
    void setTickHandler(TickHandler handler) override { handler_ = std::move(handler); }

    /// Moves time on by `milliseconds`, firing every tick that falls due.
    void advance(long milliseconds);
    long now() const { return now_; }
    int interval(int index) const;
    /// Every tick fired so far, by index, in order.
    const std::vector<int>& fired() const { return fired_; }

private:
    struct Timer {
        int interval = 0;
        bool running = false;
        long due = 0;
    };
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

/// A serial port in memory. `devices` says which port numbers open; `received` is what the device
/// has sent and the program not yet read; `sent` collects what the program wrote.
class MemorySerialPort : public SerialPort {
public:
    bool open(int portNumber) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    int portNumber() const override { return number_; }
    void write(std::string_view text) override;
    std::string readAll() override;
    void clearInput() override { received.clear(); }
    void setDataReceivedHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    /// The device sends text: it lands in the buffer and the data-received handler runs.
    void deliver(const std::string& text);

    std::set<int> devices;
    std::string received;
    std::vector<std::string> sent;  ///< each write, as written
    std::vector<int> opened;        ///< every port number open() was asked for

private:
    bool open_ = false;
    int number_ = 0;
    std::function<void()> handler_;
};

class RecordingDesktop : public Desktop {
public:
    void closeSplash() override { ++splashClosed; }
    int splashClosed = 0;
};

}  // namespace rx47::test
