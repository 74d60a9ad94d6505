// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The message broker on libmosquitto. Its network work runs on a thread of its own (the name
// lookup, the connection, keep-alives, reconnecting with growing pauses), so that a slow or absent
// broker never holds the event loop; what the core must hear of it (a connection made, lost or
// refused) comes back through the event loop. While the broker is away, messages wait in a bounded
// queue.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "platform/message_broker.h"

struct mosquitto;

namespace rx47 {

class FailureLog;

class MqttClient : public QObject, public MessageBroker {
    Q_OBJECT
public:
    struct Options {
        MqttEndpoint endpoint;
        std::optional<std::string> password;  ///< none: the broker gets no password
        std::filesystem::path caFile;         ///< empty: the system's authorities (mqtts)
        std::string clientId;
        std::string availabilityTopic;  ///< "online" on each connection; "offline" as the last will and at the end
    };
    /// How many messages wait while the broker is away; the oldest goes first.
    static constexpr std::size_t kQueueLimit = 1000;

    explicit MqttClient(Options options, QObject* parent = nullptr);
    /// Says "offline", disconnects and waits a moment for the network thread; one still caught in a
    /// connection attempt is left to the end of the process.
    ~MqttClient() override;
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    void setLog(FailureLog* log) { log_ = log; }
    /// Starts connecting; false (and logged) when the client cannot be set up (a bad CA file, say).
    bool start();

    void publish(BrokerMessage message) override;
    void setConnectedHandler(std::function<void()> handler) override { connectedHandler_ = std::move(handler); }

private:
    void run();
    void wait(std::chrono::seconds pause);
    bool stopping();
    std::string where() const;
    // From the network thread, run in the event loop:
    void connected();
    void lost(const std::string& why);
    void refused(const std::string& why);

    Options options_;
    mosquitto* mosq_ = nullptr;
    FailureLog* log_ = nullptr;
    std::function<void()> connectedHandler_;

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    bool finished_ = false;

    bool connected_ = false;  ///< as the event loop last heard
    std::deque<BrokerMessage> queue_;
    bool dropping_ = false;
};

}  // namespace rx47
