#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The RX47 monitor developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# A desktop notification service for the tests: owns org.freedesktop.Notifications on the session
# bus it is started on, writes every notification it is sent to a file (one JSON object a line:
# summary, body, actions, urgency, timeout) and, with --click, clicks each one that offers the action
# "default" half a second later. "ready" on standard output once the name is owned.
import argparse
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

INTERFACE = "org.freedesktop.Notifications"


class Service(dbus.service.Object):
    def __init__(self, bus, record, click):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.click = click
        self.next_id = 1

    @dbus.service.method(INTERFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        nid = self.next_id
        self.next_id += 1
        entry = {
            "id": nid,
            "app": str(app),
            "summary": str(summary),
            "body": str(body),
            "actions": [str(a) for a in actions],
            "urgency": int(hints["urgency"]) if "urgency" in hints else None,
            "timeout": int(timeout),
        }
        with open(self.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry, ensure_ascii=False) + "\n")
        if self.click and "default" in entry["actions"][0::2]:
            GLib.timeout_add(500, self.invoke, nid)
        return dbus.UInt32(nid)

    def invoke(self, nid):
        self.ActionInvoked(dbus.UInt32(nid), "default")
        return False

    @dbus.service.method(INTERFACE, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        self.NotificationClosed(nid, dbus.UInt32(3))

    @dbus.service.method(INTERFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(INTERFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("rx47-test-notifications", "RX47 monitor tests", "1", "1.2")

    @dbus.service.signal(INTERFACE, signature="us")
    def ActionInvoked(self, nid, action):
        pass

    @dbus.service.signal(INTERFACE, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("record")
    parser.add_argument("--click", action="store_true")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(INTERFACE, bus, do_not_queue=True)
    service = Service(bus, args.record, args.click)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    sys.exit(main())
