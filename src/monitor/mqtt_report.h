// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the program publishes over MQTT, and Home Assistant's discovery of it. Under the topic prefix
// (rx47/<host>/<folder name> unless named):
//
//   availability   "online" / "offline" (retained; kept by the broker adapter, with a last will)
//   reading        the CPM of the last reading, with each reading (retained)
//   reading_dose   its dose rate, μSv/h (retained)
//   cpm, dose      the last minute's CPM and dose rate (retained)
//   average_cpm, average_dose   the running average since start or reset (retained)
//   total          the counter's total count (retained)
//   link           "ON" while the counter is heard, else "OFF" (retained)
//   alarm          "ON" while an alarm is shown, else "OFF" (retained, at least once)
//   alarm/event    {"event": "raised", "kind", "value", "level", "time", "message"} or
//                  {"event": "acknowledged", "time"} (at least once, not retained)
//   minute         the minute's statistics as one JSON object, once a minute (not retained)
//   cpm_alarm_level, dose_alarm_level   the alarm levels (retained)
//
// Figures that describe the counter are sent only while it is heard; Home Assistant takes their
// sensors to be unavailable while "link" is "OFF" or the monitor is offline.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_broker.h"

namespace rx47 {

struct ReportContext;
struct RaisedAlarm;
struct MqttReporting;

/// Reads "mqtt://[user@]host[:port]" or "mqtts://…" (an IPv6 host in brackets). Nothing else: a
/// password in the address, a path or a query is refused, with the reason in `error`.
std::optional<MqttEndpoint> parseMqttUrl(std::string_view url, std::string& error);

/// Why `prefix` cannot begin every topic (a wildcard, an empty level, a leading "$"), or "".
std::string topicPrefixProblem(std::string_view prefix);

/// rx47/<host>/<folder name>, with what a topic level may not hold replaced by "_".
std::string defaultTopicPrefix(std::string_view host, const std::filesystem::path& folder);

/// "rx47_" and 16 hex digits, the same for the same host and folder on every start.
std::string mqttDeviceId(std::string_view host, const std::filesystem::path& folder);

/// Home Assistant's retained discovery messages: one sensor or binary sensor each, one device.
std::vector<BrokerMessage> discoveryMessages(const MqttReporting& mqtt);

/// A connection to the broker was made: discovery, then the state as it stands.
void mqttConnected(ReportContext ctx);
/// Publishes the retained state: the figures (while the counter is heard), link, alarm, levels.
void publishState(ReportContext ctx);
/// Publishes the reading just taken in.
void publishReading(ReportContext ctx);
/// Publishes an alarm raised, and the state.
void publishAlarmRaised(ReportContext ctx, const RaisedAlarm& alarm);
/// Publishes an alarm acknowledged, and the state.
void publishAlarmAcknowledged(ReportContext ctx);

}  // namespace rx47
