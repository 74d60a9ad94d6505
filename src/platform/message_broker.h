// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// A message broker the program publishes to (MQTT, for home automation): the core hands over
// messages and never waits for the broker, which may be slow, away or never there.
//
// Contract (held by the libmosquitto adapter and the recording double):
// - publish() returns at once, whether or not the broker is connected; a message handed over while
//   the broker is away waits in a bounded queue and goes out when it is back (the oldest dropped
//   first, and said so once, when the queue is full).
// - The connected handler runs from the event loop each time a connection is made, the first and
//   every later one, after the queue has gone out: the core then sends its retained state again,
//   since a broker restarted without persistence has forgotten it.
// - The adapter itself keeps the availability topic: "online" (retained) on each connection,
//   "offline" as its last will and when it ends in order.
#pragma once

#include <functional>
#include <string>

namespace rx47 {

/// Where the broker is, as a --mqtt address names it.
struct MqttEndpoint {
    bool tls = false;
    std::string user;  ///< empty: no user name
    std::string host;
    int port = 1883;
};

/// One message: where, what, how sure and whether the broker keeps it for later subscribers.
struct BrokerMessage {
    std::string topic;
    std::string payload;
    int qos = 0;  ///< 0: at most once; 1: at least once (alarms)
    bool retain = false;
};

class MessageBroker {
public:
    virtual ~MessageBroker() = default;
    /// Hands `message` over without waiting.
    virtual void publish(BrokerMessage message) = 0;
    /// Runs `handler` from the event loop after each connection is made.
    virtual void setConnectedHandler(std::function<void()> handler) = 0;
};

}  // namespace rx47
