// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/notification_service.h"

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

namespace rx47::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

NotificationService::NotificationService(bool click) {
    if (!fs::exists("/usr/bin/dbus-daemon")) {
        why_ = "no dbus-daemon (Debian's package dbus-daemon)";
        return;
    }
    bus_ = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"});
    if (!waitFor([&] { return bus_->output().find('\n') != std::string::npos; }, 20s)) {
        why_ = "the session bus did not start: " + bus_->output();
        return;
    }
    address_ = bus_->output().substr(0, bus_->output().find('\n'));

    std::vector<std::string> arguments{"/usr/bin/python3", RX47_SOURCE_DIR "/tests/support/notification_server.py",
                                       (folder_.path() / "received.jsonl").string()};
    if (click) arguments.push_back("--click");
    service_ = std::make_unique<Process>(arguments, std::vector<std::string>{busVariable()});
    if (!waitFor([&] { return service_->output().find("ready") != std::string::npos || !service_->started(); }, 20s) ||
        service_->output().find("ready") == std::string::npos) {
        why_ = "the notification service did not start (python3-dbus and python3-gi): " + service_->output();
        return;
    }
    ready_ = true;
}

NotificationService::~NotificationService() {
    if (service_) service_->endWith(SIGTERM, 5s);
    if (bus_) bus_->endWith(SIGTERM, 5s);
}

std::vector<NotificationService::Received> NotificationService::received() const {
    std::vector<Received> all;
    std::ifstream in(folder_.path() / "received.jsonl");
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded()) continue;  // half written
        Received r;
        r.summary = entry.value("summary", "");
        r.body = entry.value("body", "");
        if (entry.contains("urgency") && entry["urgency"].is_number()) r.urgency = entry["urgency"].get<int>();
        r.actions = entry.value("actions", std::vector<std::string>{});
        all.push_back(std::move(r));
    }
    return all;
}

WestonSession::WestonSession() {
    ::chmod(folder_.path().c_str(), 0700);
    if (!fs::exists("/usr/bin/weston")) {
        why_ = "no weston (Debian's packages weston and qt6-wayland)";
        return;
    }
    compositor_ = std::make_unique<Process>(
        std::vector<std::string>{"/usr/bin/weston", "--backend=headless-backend.so", "--socket=wayland-rx47",
                                 "--idle-time=0", "--width=1280", "--height=1024"},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + folder_.path().string(), "WAYLAND_DISPLAY", "DISPLAY"});
    if (!waitFor(
            [&] {
                return fs::exists(folder_.path() / "wayland-rx47.lock") && fs::exists(folder_.path() / "wayland-rx47");
            },
            20s)) {
        why_ = "weston did not start: " + (compositor_ ? compositor_->output() : std::string());
        return;
    }
    ready_ = true;
}

WestonSession::~WestonSession() {
    if (compositor_) compositor_->endWith(SIGTERM, 5s);
}

std::vector<std::string> WestonSession::environment() const {
    return {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=wayland-rx47", "XDG_RUNTIME_DIR=" + folder_.path().string()};
}

}  // namespace rx47::test
