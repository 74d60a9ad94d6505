// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/qt/mqtt_client.h"

#include <mosquitto.h>

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/log.h"

namespace rx47 {

namespace {

constexpr int kKeepAliveSeconds = 60;
constexpr const char* kCause = "mqtt";

std::string errorText(int rc) {
    return rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : std::string(mosquitto_strerror(rc));
}

}  // namespace

MqttClient::MqttClient(Options options, QObject* parent) : QObject(parent), options_(std::move(options)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { mosquitto_lib_init(); });
}

MqttClient::~MqttClient() {
    if (!mosq_) return;
    if (connected_) {
        const std::string offline = "offline";
        mosquitto_publish(mosq_, nullptr, options_.availabilityTopic.c_str(), static_cast<int>(offline.size()),
                          offline.data(), 1, true);
    }
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    mosquitto_disconnect(mosq_);
    if (thread_.joinable()) {
        std::unique_lock lock(mutex_);
        const bool ended = changed_.wait_for(lock, std::chrono::seconds(3), [this] { return finished_; });
        lock.unlock();
        if (!ended) {
            // Caught in a connection attempt that only the system's time-out ends: the process is
            // ending, and takes the thread and its client with it.
            thread_.detach();
            return;
        }
        thread_.join();
    }
    mosquitto_destroy(mosq_);
}

std::string MqttClient::where() const {
    return options_.endpoint.host + ":" + std::to_string(options_.endpoint.port);
}

bool MqttClient::start() {
    const auto fail = [this](const std::string& why) {
        if (log_) log_->fail(LogCategory::Mqtt, kCause, "MQTT is off: " + why);
        if (mosq_) mosquitto_destroy(mosq_);
        mosq_ = nullptr;
        return false;
    };
    mosq_ = mosquitto_new(options_.clientId.c_str(), true, this);
    if (!mosq_) return fail(std::strerror(errno));
    mosquitto_threaded_set(mosq_, true);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    const std::string offline = "offline";
    int rc = mosquitto_will_set(mosq_, options_.availabilityTopic.c_str(), static_cast<int>(offline.size()),
                                offline.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) return fail("the last will: " + errorText(rc));
    const std::string& user = options_.endpoint.user;
    if (!user.empty() || options_.password) {
        rc = mosquitto_username_pw_set(mosq_, user.empty() ? nullptr : user.c_str(),
                                       options_.password ? options_.password->c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) return fail("the user name: " + errorText(rc));
    }
    if (options_.endpoint.tls) {
        const std::string ca = options_.caFile.string();
        rc = mosquitto_tls_set(mosq_, ca.empty() ? nullptr : ca.c_str(), ca.empty() ? "/etc/ssl/certs" : nullptr,
                               nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail("TLS with " + (ca.empty() ? "/etc/ssl/certs" : ca) + ": " + errorText(rc));
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
        auto* client = static_cast<MqttClient*>(self);
        if (rc == 0) {
            const std::string online = "online";
            mosquitto_publish(m, nullptr, client->options_.availabilityTopic.c_str(), static_cast<int>(online.size()),
                              online.data(), 1, true);
            QMetaObject::invokeMethod(
                client, [client] { client->connected(); }, Qt::QueuedConnection);
        } else {
            const std::string why = mosquitto_connack_string(rc);
            QMetaObject::invokeMethod(
                client, [client, why] { client->refused(why); }, Qt::QueuedConnection);
        }
    });
    mosquitto_disconnect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
        auto* client = static_cast<MqttClient*>(self);
        const std::string why = rc == 0 ? std::string("disconnected") : errorText(rc);
        QMetaObject::invokeMethod(
            client, [client, why] { client->lost(why); }, Qt::QueuedConnection);
    });
    thread_ = std::thread([this] { run(); });
    return true;
}

bool MqttClient::stopping() {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void MqttClient::wait(std::chrono::seconds pause) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, pause, [this] { return stopping_; });
}

void MqttClient::run() {
    // Pauses between attempts grow from one second to a minute, and start again after a connection.
    std::chrono::seconds pause(1);
    while (!stopping()) {
        const int rc =
            mosquitto_connect(mosq_, options_.endpoint.host.c_str(), options_.endpoint.port, kKeepAliveSeconds);
        if (rc == MOSQ_ERR_SUCCESS) {
            pause = std::chrono::seconds(1);
            while (mosquitto_loop(mosq_, 10000, 1) == MOSQ_ERR_SUCCESS) {
            }
        } else {
            const std::string why = errorText(rc);
            QMetaObject::invokeMethod(
                this, [this, why] { refused(why); }, Qt::QueuedConnection);
        }
        if (stopping()) break;
        wait(pause);
        pause = std::min(pause * 2, std::chrono::seconds(60));
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void MqttClient::publish(BrokerMessage message) {
    if (!mosq_) return;
    if (connected_ && queue_.empty()) {
        const int rc =
            mosquitto_publish(mosq_, nullptr, message.topic.c_str(), static_cast<int>(message.payload.size()),
                              message.payload.data(), message.qos, message.retain);
        if (rc == MOSQ_ERR_SUCCESS) return;
    }
    // A retained message stands for the state of its topic: only the newest one waits.
    if (message.retain)
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [&](const BrokerMessage& m) { return m.retain && m.topic == message.topic; }),
                     queue_.end());
    if (queue_.size() >= kQueueLimit) {
        if (!dropping_ && log_)
            log_->warn(LogCategory::Mqtt, "the MQTT broker " + where() + " is away and " + std::to_string(kQueueLimit) +
                                              " messages wait: the oldest are dropped from now on, alarms last");
        dropping_ = true;
        // Alarms go at least once: the oldest message sent at most once is dropped first.
        auto drop = std::find_if(queue_.begin(), queue_.end(), [](const BrokerMessage& m) { return m.qos == 0; });
        queue_.erase(drop == queue_.end() ? queue_.begin() : drop);
    }
    queue_.push_back(std::move(message));
}

void MqttClient::connected() {
    connected_ = true;
    if (log_) {
        log_->clear(LogCategory::Mqtt, kCause, "the MQTT broker " + where() + " is reached again");
        log_->info(LogCategory::Mqtt, "connected to the MQTT broker " + where());
    }
    while (!queue_.empty()) {
        const BrokerMessage& m = queue_.front();
        if (mosquitto_publish(mosq_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(),
                              m.qos, m.retain) != MOSQ_ERR_SUCCESS)
            break;
        queue_.pop_front();
    }
    dropping_ = false;
    if (connectedHandler_) connectedHandler_();
}

void MqttClient::lost(const std::string& why) {
    if (!connected_) return;
    connected_ = false;
    if (log_ && !stopping())
        log_->fail(LogCategory::Mqtt, kCause,
                   "the connection to the MQTT broker " + where() + " is lost (" + why + "); trying again");
}

void MqttClient::refused(const std::string& why) {
    connected_ = false;
    if (log_)
        log_->fail(LogCategory::Mqtt, kCause,
                   "cannot connect to the MQTT broker " + where() + ": " + why + "; trying again");
}

}  // namespace rx47
