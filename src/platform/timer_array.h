// The main window's timer array, by index (0, 2, 3, 4, 5, 6, 7, 9, 10), and index 11, the timer of
// the notification-area icon's owner that removes the icon after a restore. Every timer is periodic: once
// started it ticks at its interval until it is stopped. The core never starts a clock of its own.
#pragma once

#include <functional>

namespace rx47 {

class TimerArray {
public:
    using TickHandler = std::function<void(int index)>;

    virtual ~TimerArray() = default;
    /// Sets a timer's interval in milliseconds; a running timer keeps running at the new interval.
    virtual void setInterval(int index, int milliseconds) = 0;
    /// Starts a timer. Starting a running timer leaves it running (its next tick may move).
    virtual void start(int index) = 0;
    virtual void stop(int index) = 0;
    virtual bool isRunning(int index) const = 0;
    /// The one handler for every tick, called with the index of the timer that fired.
    virtual void setTickHandler(TickHandler handler) = 0;

    /// Whether the array has a timer with this index.
    static constexpr bool exists(int index) {
        return index == 0 || index == 2 || index == 3 || index == 4 || index == 5 || index == 6 || index == 7 ||
               index == 9 || index == 10 || index == 11;
    }
};

}  // namespace rx47
