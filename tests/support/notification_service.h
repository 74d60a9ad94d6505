// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the tests put around a program to see the desktop's notifications it sends: a session bus of
// the test's own (dbus-daemon) with a notification service on it that writes down what it is sent
// (and may click it), and a Wayland desktop of the test's own (weston, headless).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/program_folder.h"

namespace rx47::test {

class NotificationService {
public:
    /// With `click`, the service clicks every notification half a second after it came.
    explicit NotificationService(bool click = false);
    ~NotificationService();
    NotificationService(const NotificationService&) = delete;
    NotificationService& operator=(const NotificationService&) = delete;

    bool ready() const { return ready_; }
    /// What is missing when it is not ready.
    const std::string& why() const { return why_; }
    /// "DBUS_SESSION_BUS_ADDRESS=…" for the program under test.
    std::string busVariable() const { return "DBUS_SESSION_BUS_ADDRESS=" + address_; }

    struct Received {
        std::string summary;
        std::string body;
        int urgency = -1;  ///< the "urgency" hint, -1 when none came
        std::vector<std::string> actions;
    };
    /// The notifications received so far.
    std::vector<Received> received() const;

private:
    TempProgramFolder folder_{TempProgramFolder::Settings::None};
    std::unique_ptr<Process> bus_;
    std::unique_ptr<Process> service_;
    std::string address_;
    bool ready_ = false;
    std::string why_;
};

class WestonSession {
public:
    /// Starts weston with its headless backend on a socket in a runtime folder of its own.
    WestonSession();
    ~WestonSession();
    WestonSession(const WestonSession&) = delete;
    WestonSession& operator=(const WestonSession&) = delete;

    bool ready() const { return ready_; }
    const std::string& why() const { return why_; }
    /// The environment that puts a Qt program on this desktop.
    std::vector<std::string> environment() const;

private:
    TempProgramFolder folder_{TempProgramFolder::Settings::None};
    std::unique_ptr<Process> compositor_;
    bool ready_ = false;
    std::string why_;
};

}  // namespace rx47::test
