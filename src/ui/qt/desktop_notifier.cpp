// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QVariantMap>

#include "ui/qt/conversions.h"

namespace rx47 {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
constexpr unsigned char kUrgencyNormal = 1;
constexpr unsigned char kUrgencyCritical = 2;
}  // namespace

namespace {
/// Whether the session has a bus to connect to. Without one the library would start a bus of its own
/// (autolaunch), which outlives the program and serves no desktop.
bool sessionBusNamed() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}
}  // namespace

DesktopNotifier::DesktopNotifier() {
    if (!sessionBusNamed()) return;  // told when the first notification fails
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActivationToken"), this,
                SLOT(onActivationToken(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotifier::send(const Notification& notification) {
    if (!sessionBusNamed()) {
        failed("no session bus");
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failed("no session bus: " + bus.lastError().message().toStdString());
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(notification.critical ? kUrgencyCritical : kUrgencyNormal));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("rx47-monitor"));
    // A critical notification stays until the user dismisses it (timeout 0), as the alarm does.
    call << QStringLiteral("RX47 monitor") << uint{0} << QStringLiteral("rx47-monitor") << qtText(notification.summary)
         << qtText(notification.body) << QStringList{QStringLiteral("default"), QStringLiteral("表示")} << hints
         << (notification.critical ? 0 : -1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            failed(reply.error().name().toStdString() + ": " + reply.error().message().toStdString());
            return;
        }
        ours_.insert(reply.value());
        if (failing_) {
            failing_ = false;
            if (failed_) failed_("");
        }
    });
}

void DesktopNotifier::failed(const std::string& why) {
    failing_ = true;
    if (failed_) failed_(why);
}

void DesktopNotifier::onActivationToken(uint id, const QString& token) {
    if (!ours_.count(id)) return;
    lastTokenId_ = id;
    lastToken_ = token;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action) {
    if (!ours_.count(id) || action != QStringLiteral("default")) return;
    const QString token = lastTokenId_ == id ? lastToken_ : QString();
    lastToken_.clear();
    if (clicked_) clicked_(token);
}

void DesktopNotifier::onClosed(uint id, uint) {
    ours_.erase(id);
}

}  // namespace rx47
