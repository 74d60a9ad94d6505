// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/mqtt_report.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "base/failure.h"
#include "base/local_time.h"
#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "monitor/event_command.h"
#include "monitor/metrics_file.h"
#include "platform/clock.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

using nlohmann::json;

/// A topic level made of `text`: what MQTT reserves (wildcards, the level separator, NUL) and
/// control characters become "_"; an empty text is "_".
std::string topicLevel(std::string_view text) {
    std::string level;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        level += (c == '+' || c == '#' || c == '/' || u < 0x20 || u == 0x7F) ? '_' : c;
    }
    return level.empty() ? "_" : level;
}

/// A caption as a JSON number when it is one ("25", "0.208"), else null.
json number(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end || !std::isfinite(value)) return nullptr;
    if (value == std::floor(value) && std::fabs(value) < 9e15) return static_cast<std::int64_t>(value);
    return value;
}

void send(ReportContext& ctx, const std::string& level, std::string payload, bool retain = true, int qos = 0) {
    ctx.broker->publish({ctx.reporting.mqtt.topicPrefix + "/" + level, std::move(payload), qos, retain});
}

/// A figure of the counter: sent when known (a retained empty payload would erase it at the broker).
void sendFigure(ReportContext& ctx, const std::string& level, const std::string& caption) {
    if (!caption.empty()) send(ctx, level, caption);
}

}  // namespace

std::optional<MqttEndpoint> parseMqttUrl(std::string_view url, std::string& error) {
    MqttEndpoint endpoint;
    std::string_view rest;
    if (url.substr(0, 7) == "mqtt://") {
        rest = url.substr(7);
    } else if (url.substr(0, 8) == "mqtts://") {
        rest = url.substr(8);
        endpoint.tls = true;
        endpoint.port = 8883;
    } else {
        error = "an MQTT address starts with mqtt:// or mqtts://";
        return std::nullopt;
    }
    if (rest.find_first_of("/?#") != std::string_view::npos && rest.find_first_of("/?#") != rest.size() - 1) {
        error = "an MQTT address holds no path or query";
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        endpoint.user = std::string(rest.substr(0, at));
        rest = rest.substr(at + 1);
        if (endpoint.user.find(':') != std::string::npos) {
            error = "the password does not go in the address: name a file that holds it with --mqtt-password-file";
            return std::nullopt;
        }
        if (endpoint.user.empty()) {
            error = "an empty user name before \"@\"";
            return std::nullopt;
        }
    }
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            error = "an IPv6 address without its closing \"]\"";
            return std::nullopt;
        }
        endpoint.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty() && after.front() != ':') {
            error = "\":port\" or nothing follows the host";
            return std::nullopt;
        }
        if (!after.empty()) port = after.substr(1);
        if (after == ":") port = ":";
    } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
        endpoint.host = std::string(rest.substr(0, colon));
        port = rest.substr(colon + 1);
        if (port.empty()) port = ":";
    } else {
        endpoint.host = std::string(rest);
    }
    if (endpoint.host.empty()) {
        error = "the address names no host";
        return std::nullopt;
    }
    if (!port.empty()) {
        int value = 0;
        const auto [at, failed] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (failed != std::errc() || at != port.data() + port.size() || value < 1 || value > 65535) {
            error = "the port is a number from 1 to 65535";
            return std::nullopt;
        }
        endpoint.port = value;
    }
    return endpoint;
}

std::string topicPrefixProblem(std::string_view prefix) {
    if (prefix.empty()) return "the topic prefix is empty";
    if (prefix.find_first_of("+#") != std::string_view::npos) return "a topic prefix holds no wildcard (+ or #)";
    if (prefix.find('\0') != std::string_view::npos) return "a topic prefix holds no NUL";
    if (prefix.front() == '$') return "topics that start with \"$\" are the broker's own";
    if (prefix.front() == '/' || prefix.back() == '/' || prefix.find("//") != std::string_view::npos)
        return "a topic prefix has no empty level";
    return "";
}

std::string defaultTopicPrefix(std::string_view host, const std::filesystem::path& folder) {
    std::filesystem::path name = folder.filename();
    if (name.empty()) name = folder.parent_path().filename();
    return "rx47/" + topicLevel(host) + "/" + topicLevel(name.string());
}

std::string mqttDeviceId(std::string_view host, const std::filesystem::path& folder) {
    // FNV-1a over the host and the folder: stable from start to start and from build to build.
    std::uint64_t hash = 14695981039346656037ull;
    const auto add = [&](std::string_view bytes) {
        for (const char c : bytes) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
    };
    add(host);
    add(std::string_view("\n", 1));
    std::filesystem::path normal = folder.lexically_normal();
    if (normal.filename().empty() && normal.has_relative_path()) normal = normal.parent_path();
    add(normal.string());
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("rx47_") + hex;
}

std::vector<BrokerMessage> discoveryMessages(const MqttReporting& mqtt) {
    const std::string& p = mqtt.topicPrefix;
    const json device = {
        {"identifiers", {mqtt.deviceId}},
        {"name", "RX47 " + mqtt.hostName + " " + std::filesystem::path(p).filename().string()},
        {"manufacturer", "RX47"},
        {"model", "RX47 radiation counter"},
        {"sw_version", mqtt.version},
    };
    const json monitorOnline = {{"topic", p + "/availability"}};
    const json counterHeard = {{"topic", p + "/link"}, {"payload_available", "ON"}, {"payload_not_available", "OFF"}};

    struct Entity {
        const char* component;
        const char* object;
        const char* name;
        const char* unit;  ///< "" for none
        const char* extra;
    };
    static constexpr Entity kEntities[] = {
        {"sensor", "reading", "CPM", "CPM", "measurement"},
        {"sensor", "reading_dose", "Dose rate", "μSv/h", "measurement"},
        {"sensor", "cpm", "CPM last minute", "CPM", "measurement"},
        {"sensor", "dose", "Dose rate last minute", "μSv/h", "measurement"},
        {"sensor", "average_cpm", "Running average CPM", "CPM", "measurement"},
        {"sensor", "average_dose", "Running average dose rate", "μSv/h", "measurement"},
        {"sensor", "total", "Total count", "", "total_increasing"},
        {"binary_sensor", "alarm", "Alarm", "", "safety"},
        {"binary_sensor", "link", "Counter connected", "", "connectivity"},
    };
    std::vector<BrokerMessage> messages;
    for (const Entity& e : kEntities) {
        const std::string object = e.object;
        json config = {
            {"name", e.name},
            {"unique_id", mqtt.deviceId + "_" + object},
            {"object_id", mqtt.deviceId + "_" + object},
            {"state_topic", p + "/" + object},
            {"device", device},
        };
        if (std::string_view(e.component) == "sensor") {
            config["state_class"] = e.extra;
            if (*e.unit) config["unit_of_measurement"] = e.unit;
            config["icon"] = "mdi:radioactive";
            // A figure of the counter means nothing while the counter is not heard.
            config["availability"] = json::array({monitorOnline, counterHeard});
            config["availability_mode"] = "all";
        } else {
            config["device_class"] = e.extra;
            config["payload_on"] = "ON";
            config["payload_off"] = "OFF";
            config["availability"] = json::array({monitorOnline});
            if (object == "link") config["entity_category"] = "diagnostic";
        }
        messages.push_back({mqtt.discoveryPrefix + "/" + e.component + "/" + mqtt.deviceId + "/" + object + "/config",
                            config.dump(), 1, true});
    }
    return messages;
}

void mqttConnected(ReportContext ctx) {
    if (!ctx.broker) return;
    for (BrokerMessage& message : discoveryMessages(ctx.reporting.mqtt)) ctx.broker->publish(std::move(message));
    publishState(ctx);
    // The last reading again: a restarted broker has forgotten it.
    publishReading(ctx);
}

void publishState(ReportContext ctx) {
    if (!ctx.broker) return;
    const MetricsFigures m = currentMetrics(ctx);
    if (m.linkUp) {
        sendFigure(ctx, "cpm", m.cpm);
        sendFigure(ctx, "dose", m.dose);
        sendFigure(ctx, "average_cpm", m.runningCpm);
        sendFigure(ctx, "average_dose", m.runningDose);
        sendFigure(ctx, "total", m.totalCount);
    }
    send(ctx, "link", m.linkUp ? "ON" : "OFF");
    send(ctx, "alarm", m.cpmAlarm || m.doseAlarm ? "ON" : "OFF", true, 1);
    if (ctx.values.cpmAlarmLevel > 0) send(ctx, "cpm_alarm_level", decimalText(ctx.values.cpmAlarmLevel));
    step([&] { send(ctx, "dose_alarm_level", decimalText(ctx.settings.number(column::kDoseAlarmLevel))); });

    MonitorState& s = ctx.state;
    if (s.enteredMinuteTime >= 0 && s.enteredMinuteTime != s.publishedMinuteTime) {
        s.publishedMinuteTime = s.enteredMinuteTime;
        const MainForm& f = ctx.form;
        const json minute = {
            {"time", isoText(s.enteredMinuteTime)},
            {"cpm", number(m.cpm)},
            {"dose", number(m.dose)},
            {"average_cpm", number(m.runningCpm)},
            {"average_dose", number(m.runningDose)},
            {"max_cpm", number(f.Label[kMaxCpm].caption)},
            {"max_dose", number(f.Label[kMaxDose].caption)},
            {"min_cpm", number(f.Label[kMinCpm].caption)},
            {"min_dose", number(f.Label[kMinDose].caption)},
            {"total", number(m.totalCount)},
        };
        send(ctx, "minute", minute.dump(), false);
    }
}

void publishReading(ReportContext ctx) {
    if (!ctx.broker) return;
    sendFigure(ctx, "reading", ctx.form.Label[kRealtimeCpm].caption);
    sendFigure(ctx, "reading_dose", ctx.form.Label[kRealtimeDose].caption);
}

void publishAlarmRaised(ReportContext ctx, const RaisedAlarm& alarm) {
    if (!ctx.broker) return;
    const bool cpm = alarm.kind == AlarmKind::Cpm;
    const json event = {
        {"event", "raised"},
        {"kind", cpm ? "cpm" : "dose"},
        {"value", number(alarm.value)},
        {"level", number(alarm.level)},
        {"time", nowText(ctx.clock)},
        {"message", cpm ? kCpmAlarmText : kDoseAlarmText},
    };
    send(ctx, "alarm/event", event.dump(), false, 1);
    publishState(ctx);
}

void publishAlarmAcknowledged(ReportContext ctx) {
    if (!ctx.broker) return;
    const json event = {{"event", "acknowledged"}, {"time", nowText(ctx.clock)}};
    send(ctx, "alarm/event", event.dump(), false, 1);
    publishState(ctx);
}

}  // namespace rx47
