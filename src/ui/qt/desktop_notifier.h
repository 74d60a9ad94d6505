// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The desktop's notification service (org.freedesktop.Notifications on the session bus): sends a
// notification with the action "default", and hears when the user clicks one of its own, with the
// activation token the service may hand over first (so that a Wayland compositor lets the window come
// forward). The calls never wait for the service: a bus or service that is not there only costs a
// failed reply, which is reported once until a notification goes through again.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <set>

#include "platform/desktop.h"

namespace rx47 {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    DesktopNotifier();

    /// Runs when the user clicked one of this program's notifications, with the activation token the
    /// service gave for it ("" when none).
    void setClickHandler(std::function<void(const QString& token)> handler) { clicked_ = std::move(handler); }
    /// Runs with a reason when a notification could not be sent, and with "" when one was sent after that.
    void setFailureHandler(std::function<void(const std::string& why)> handler) { failed_ = std::move(handler); }

    void send(const Notification& notification);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onActivationToken(uint id, const QString& token);
    void onClosed(uint id, uint reason);

private:
    void failed(const std::string& why);
    std::function<void(const QString&)> clicked_;
    std::function<void(const std::string&)> failed_;
    std::set<uint> ours_;
    uint lastTokenId_ = 0;
    QString lastToken_;
    bool failing_ = false;
};

}  // namespace rx47
