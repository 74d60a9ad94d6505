// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/link.h"

#include <string>

#include "base/failure.h"
#include "base/log.h"
#include "base/number.h"
#include "device/protocol.h"
#include "display/alarm_line.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/event_command.h"
#include "monitor/notices.h"
#include "monitor/timer_schedule.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/settings_row.h"

namespace rx47 {

namespace {

/// The log's cause for a counter that is not heard: one line when it goes, one when it is back.
constexpr const char* kDeviceCause = "device";

/// A port number from the text of the port list. A text that is not a whole number cannot select a
/// port, and the open is skipped.
int portNumberOf(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789 ") != std::string::npos)
        throw TypeMismatch("not a port number: " + text);
    return toInt16(readNumber(text));
}

void selectListItem(ComboControl& combo, int index) {
    if (index < 0 || index >= static_cast<int>(combo.items.size())) throw Failure("no such list item");
    combo.listIndex = index;
    combo.text = combo.items[static_cast<std::size_t>(index)];
}

/// The grid lines. Hiding them hides the CPM alarm line too; showing them leaves it as it is: whether
/// it shows is the alarm line's own rule (the setting, a level that lies on the scale), applied again
/// when the level or the scale next changes.
void showGraphLines(Context& ctx, bool visible) {
    for (int i : graph::kCpmGrid) ctx.form.lne[i].visible = visible;
    for (int i : graph::kDoseGrid) ctx.form.lne[i].visible = visible;
    if (!visible) updateCpmAlarmLine(ctx, AlarmLineChange::DeviceLost);
}

/// The search has given up: the window asks to check the counter and offers the re-search.
void offerReSearch(MainForm& f) {
    f.Label[kStatusMessage].caption = kCheckConnectionText;
    f.cmd[kResetButton].caption = kReSearchCaption;
    f.cmd[kResetButton].enabled = true;
}

/// Whether the walk stands on the last listed port, or none is listed: no port is left to try.
bool walkAtEnd(const ComboControl& list) {
    return static_cast<int>(list.items.size()) <= list.listIndex + 1;
}

/// The walk moved on to the port it opens now, with no advance pending: a search goes on, or has no
/// port left to try. A link that stands, or one the program's end stopped, is not the search's.
void walkMoved(Context& ctx) {
    LinkState& link = ctx.state.link;
    if (link == LinkState::Searching || link == LinkState::NotFound)
        link = walkAtEnd(ctx.form.Combo1[kPortList]) ? LinkState::NotFound : LinkState::Searching;
}

}  // namespace

void scanSerialPorts(Context& ctx) {
    // Each number is tried on a port of its own: the device's port, when open, stays open and is
    // listed as one that opens.
    ComboControl& list = ctx.form.Combo1[kPortList];
    for (int n = 1; n <= kHighestPort; ++n) {
        step([&] {
            const PortOpenFailure failure = ctx.port.probe(n);
            if (failure.problem == PortProblem::None) list.items.push_back(std::to_string(n));
            reportPortOpen(ctx, n, failure, true);
        });
    }
}

void openDevicePort(Context& ctx, int portNumber) {
    ctx.port.open(portNumber);
    reportPortOpen(ctx, portNumber, false);
}

void reportPortOpen(Context& ctx, int portNumber, bool scanning) {
    reportPortOpen(ctx, portNumber, ctx.port.lastOpenFailure(), scanning);
}

void reportPortOpen(Context& ctx, int portNumber, const PortOpenFailure& failure, bool scanning) {
    const std::string cause = "port:" + std::to_string(portNumber);
    const std::string name = "COM" + std::to_string(portNumber);
    const std::string device = failure.device.empty() ? name : name + " (" + failure.device + ")";
    if (failure.problem == PortProblem::None) {
        ctx.log.clear(LogCategory::Port, cause, name + " opens");
        if (ctx.state.refusedPort == portNumber) {
            ctx.state.refusedPort = 0;
            setNotice(ctx, Notice::PortPermission, "");
        }
        return;
    }
    // The scan tries every number: most stand for nothing, which is no news. A device that is there
    // but cannot be used is, since the search will never try it.
    if (scanning && failure.problem == PortProblem::Missing) return;
    switch (failure.problem) {
        case PortProblem::Permission: {
            ctx.state.refusedPort = portNumber;
            if (!failure.group.empty()) {
                const std::string& group = failure.group;
                ctx.log.fail(LogCategory::Port, cause,
                             "cannot open " + device + ": permission denied. Join the group " + group +
                                 " (sudo adduser $USER " + group + ") and log in again");
                setNotice(ctx, Notice::PortPermission,
                          device + " を開く権限がありません。sudo adduser $USER " + group +
                              " の後、ログインし直してください");
                break;
            }
            // No group may use the device (or only the superuser's): joining one would not help, or
            // would hand the user the superuser's files. Access has to be granted by whoever runs
            // the machine.
            const std::string owned = failure.access.empty() ? "" : " (" + failure.access + ")";
            ctx.log.fail(LogCategory::Port, cause,
                         "cannot open " + device + ": permission denied" + owned +
                             "; no group of users may open it: the administrator must grant access (for example "
                             "with a udev rule)");
            const std::string ownedJa = failure.access.empty() ? "" : "（所有者とモード " + failure.access + "）";
            setNotice(ctx, Notice::PortPermission,
                      device + " を開く権限がありません" + ownedJa +
                          "。管理者に使用許可を設定してもらってください（udev の規則など）");
            break;
        }
        case PortProblem::Busy: {
            const PortLockHolder& holder = failure.holder;
            if (holder.file.empty()) {
                ctx.log.fail(LogCategory::Port, cause,
                             "cannot open " + device + ": another program holds it (" + failure.detail + ")");
                break;
            }
            // Held through its lock file: say whose, so that it can be ended or the stale file removed.
            const std::string pid = std::to_string(holder.pid);
            const std::string user = holder.user.empty() ? "" : " of user " + holder.user;
            const std::string program = holder.program.empty() ? "" : " " + holder.program;
            std::string whose, whoseJa;
            if (holder.pid > 0 && holder.running) {
                whose = "process " + pid + program + user;
                whoseJa = "プロセス " + pid + program + (holder.user.empty() ? "" : "、ユーザー " + holder.user);
            } else if (holder.pid > 0) {
                whose = "process " + pid + ", which has ended; the file belongs to" +
                        (holder.user.empty() ? " another user" : " user " + holder.user);
                whoseJa = "終了したプロセス " + pid + (holder.user.empty() ? "" : "、ファイルの所有者 " + holder.user);
            } else {
                whose =
                    "it names no process" + (holder.user.empty() ? "" : "; the file belongs to user " + holder.user);
                whoseJa = holder.user.empty() ? "" : "ファイルの所有者 " + holder.user;
            }
            ctx.log.fail(LogCategory::Port, cause,
                         "cannot open " + device + ": another program holds it through the lock file " + holder.file +
                             " (" + whose + ")");
            ctx.state.refusedPort = portNumber;
            setNotice(ctx, Notice::PortPermission,
                      device + " は使用中です（ロックファイル " + holder.file +
                          (whoseJa.empty() ? "" : "、" + whoseJa) + "）");
            break;
        }
        case PortProblem::Missing:
            ctx.log.fail(LogCategory::Port, cause,
                         "cannot open " + device + ": no such device (" + failure.detail + ")");
            break;
        default:
            ctx.log.fail(LogCategory::Port, cause, "cannot open " + device + ": " + failure.detail);
            break;
    }
}

void startUpConnection(Context& ctx) {
    // The stored port is asked first; the list of the others follows while its answer is on the way,
    // and is complete before the window shows. The scan lists the open port without opening it again.
    step([&] { ctx.form.Combo1[kPortList].text = ctx.settings.text(column::kPort); });
    step([&] { openDevicePort(ctx, ctx.settings.int16(column::kPort)); });
    step([&] {
        if (ctx.port.isOpen()) sendCommand(ctx.port, command::kShow);
    });
    step([&] { scanSerialPorts(ctx); });
    // The window tells of the port in use, not of the last one the scan found refused or held.
    step([&] {
        if (ctx.port.portNumber() != 0) reportPortOpen(ctx, ctx.port.portNumber(), false);
    });
}

void onDataReceived(Context& ctx) {
    MonitorState& s = ctx.state;
    // The port that answered is the device's: a pending advance must not walk away from it.
    ctx.timers.stop(timer::kPortAdvance);
    s.deviceHeard = true;
    if (s.refusedPort != 0) {
        // The counter answers: a port refused elsewhere no longer matters.
        s.refusedPort = 0;
        setNotice(ctx, Notice::PortPermission, "");
    }
    if (s.link != LinkState::Linked) {
        ctx.log.clear(LogCategory::Port, kDeviceCause, "the counter answers on COM" + ctx.form.Combo1[kPortList].text);
        step([&] { reportEvent(ctx, EventKind::DeviceFound); });
        s.link = LinkState::Linked;
        s.quietMinutes = 0;
        s.minCpm = kNoMinimumCpm;
        s.lastMinute = 0;
        step([&] { ctx.settings.write(column::kPort, ctx.form.Combo1[kPortList].text); });
        step([&] { ctx.settings.commit(); });
        ctx.form.Label[kStatusMessage].visible = false;
        ctx.form.Label[kErrorLamp].backColour = kLampDarkRed;
        showGraphLines(ctx, true);
        ctx.form.Option2[kBuzzerOnOption].enabled = true;
        ctx.form.Option2[kBuzzerOffOption].enabled = true;
        ctx.form.cmd[kSettingsButton].enabled = true;
        ctx.form.cmd[kResetButton].caption = kResetCaption;
        s.searchingQuietly = false;
        // The window says "受信": a counter found again is told so, as the button does. A "go" sent
        // while it was away went nowhere, and one that was stopped would otherwise stay stopped.
        if (ctx.form.Option1[kReceiveOption].value) {
            ctx.timers.start(timer::kTxLamp);
            step([&] { sendCommand(ctx.port, command::kGo); });
        }
    }
    ctx.timers.start(timer::kIntake);
}

void showDeviceNotFound(Context& ctx) {
    MainForm& f = ctx.form;
    // A counter that was heard and taken to be there is gone: the world hears of it once.
    if (ctx.state.link == LinkState::Linked && ctx.state.deviceHeard)
        step([&] { reportEvent(ctx, EventKind::DeviceLost); });
    const ComboControl& list = f.Combo1[kPortList];
    const bool noPortLeft = static_cast<int>(list.items.size()) == list.listIndex + 1;
    ctx.state.link = noPortLeft ? LinkState::NotFound : LinkState::Searching;
    ctx.state.measuring = false;
    ctx.state.quietMinutes = 0;
    f.Label[kStatusMessage].visible = true;
    f.Label[kErrorLamp].backColour = kLampRed;
    showGraphLines(ctx, false);
    f.cmd[kResetButton].enabled = false;
    f.Option2[kBuzzerOnOption].enabled = false;
    f.Option2[kBuzzerOffOption].enabled = false;
    f.cmd[kSettingsButton].enabled = false;
    if (noPortLeft) {
        std::string ports;
        for (const std::string& item : list.items) ports += (ports.empty() ? "COM" : ", COM") + item;
        // Once: the rounds that follow each minute fail under the same cause until the counter answers.
        ctx.log.fail(LogCategory::Port, kDeviceCause,
                     "no counter answers on the listed ports (" + (ports.empty() ? std::string("none") : ports) +
                         "); check its connection. The ports are listed and searched again every minute");
        offerReSearch(f);
    } else {
        ctx.timers.start(timer::kPortAdvance);
        // A round after the search gave up keeps asking to check the counter, and the button.
        if (ctx.state.searchingQuietly)
            offerReSearch(f);
        else
            f.Label[kStatusMessage].caption = kSearchingText;
    }
}

void deviceLost(Context& ctx, const char* why) {
    const std::string port = ctx.form.Combo1[kPortList].text;
    if (ctx.state.deviceHeard)
        ctx.log.fail(LogCategory::Port, kDeviceCause,
                     "the counter on COM" + port + " is lost (" + why + "); searching every listed port");
    ctx.form.Combo1[kPortList].listIndex = -1;
    showDeviceNotFound(ctx);
}

bool searchExhausted(const Context& ctx) {
    return ctx.state.link == LinkState::NotFound;
}

void portAdvanceTick(Context& ctx) {
    ctx.timers.stop(timer::kPortAdvance);
    ctx.state.lastMinute = 0;
    ComboControl& list = ctx.form.Combo1[kPortList];
    step([&] { selectListItem(list, list.listIndex + 1); });
    step([&] {
        if (ctx.port.isOpen()) ctx.port.close();
    });
    step([&] { openDevicePort(ctx, portNumberOf(list.text)); });
    walkMoved(ctx);
}

void reSearch(Context& ctx) {
    // The re-search starts from the first port: an advance of a round under way must not move it on.
    ctx.timers.stop(timer::kPortAdvance);
    ctx.state.searchingQuietly = false;
    ComboControl& list = ctx.form.Combo1[kPortList];
    list.items.clear();
    list.listIndex = -1;
    list.text.clear();
    // The port a round left open is tried again as any other.
    step([&] {
        if (ctx.port.isOpen()) ctx.port.close();
    });
    step([&] { scanSerialPorts(ctx); });
    // Try the first listed port at once; the search goes on from it as usual. Merely selecting it
    // would leave the first port untried, and a single listed port never opened.
    step([&] { selectListItem(list, 0); });
    step([&] { openDevicePort(ctx, portNumberOf(list.text)); });
    walkMoved(ctx);
    ctx.state.lastMinute = 0;
}

void searchAgainQuietly(Context& ctx) {
    reSearch(ctx);
    ctx.state.searchingQuietly = true;
}

}  // namespace rx47
