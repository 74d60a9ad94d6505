// Serving the program's events while a handler waits (the alarm sound waits for its end this way):
// timer ticks, clicks and serial data are handled inside the wait.
#pragma once

#include <chrono>

namespace rx47 {

class EventPump {
public:
    virtual ~EventPump() = default;
    /// Handles pending events, waiting up to `maxWait` for one to arrive.
    virtual void processEvents(std::chrono::milliseconds maxWait) = 0;
    /// A steady clock for watchdogs, in milliseconds since some fixed moment.
    virtual std::chrono::milliseconds now() const = 0;
};

}  // namespace rx47
