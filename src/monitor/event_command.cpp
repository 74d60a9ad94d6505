// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/event_command.h"

#include <algorithm>
#include <exception>

#include "base/local_time.h"
#include "base/log.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/alarms.h"
#include "platform/clock.h"
#include "platform/command_runner.h"

namespace rx47 {

namespace {

/// One of the two commands, with what it needs to run and the events that wait for it.
struct Hook {
    const std::vector<std::string>& command;
    CommandRunner* runner;
    std::vector<PendingRun>& pending;
    const char* name;
    bool alarm;
};

Hook alarmHook(EventContext& ctx) {
    return {ctx.reporting.alarmCommand, ctx.commandRunner, ctx.state.pendingAlarmRuns, "alarm command", true};
}

Hook eventHook(EventContext& ctx) {
    return {ctx.reporting.events.command, ctx.eventRunner, ctx.state.pendingEventRuns, "event command", false};
}

const char* eventName(EventKind kind) {
    switch (kind) {
        case EventKind::Alarm:
            return "alarm";
        case EventKind::Acknowledged:
            return "acknowledged";
        case EventKind::DeviceLost:
            return "device-lost";
        case EventKind::DeviceFound:
            return "device-found";
        case EventKind::Minute:
            return "minute";
    }
    return "";
}

CommandRunner::Environment baseEnvironment(const EventContext& ctx, EventKind kind) {
    return {{"RX47_EVENT", eventName(kind)},
            {"RX47_TIME", nowText(ctx.clock)},
            {"RX47_PROGRAM_FOLDER", ctx.programFolder.string()}};
}

std::string eventOf(const PendingRun& run) {
    for (const auto& [name, value] : run.environment)
        if (name == "RX47_EVENT") return value;
    return "";
}

std::string commandName(const Hook& hook) {
    return std::string("the ") + hook.name + " " + (hook.command.empty() ? std::string() : hook.command.front());
}

/// Starts the first waiting run; one that cannot start is logged and the next tried.
void startNext(EventContext& ctx, const Hook& hook) {
    while (!hook.pending.empty() && !hook.runner->running()) {
        const PendingRun run = hook.pending.front();
        hook.pending.erase(hook.pending.begin());
        const bool alarm = hook.alarm;
        // A copy of the view: the command ends long after this call.
        hook.runner->setFinishedHandler([ctx, alarm](const CommandExit& exit) {
            try {
                commandEnded(ctx, alarm, exit);
            } catch (const std::exception&) {
                ctx.log.warn(LogCategory::Hook, "a command's end could not be handled (out of memory)");
            }
        });
        hook.runner->setTimeLimit(ctx.reporting.events.timeout);
        const CommandStart start =
            hook.runner->start(hook.command.front(),
                               std::vector<std::string>(hook.command.begin() + 1, hook.command.end()), run.environment);
        if (!start.started) {
            ctx.log.fail(LogCategory::Hook, hook.name, commandName(hook) + " cannot start: " + start.error);
            continue;
        }
        ctx.log.info(LogCategory::Hook, commandName(hook) + " started for " + eventOf(run));
    }
}

void run(EventContext& ctx, const Hook& hook, CommandRunner::Environment environment) {
    if (hook.command.empty() || !hook.runner) return;
    if (hook.pending.size() >= kPendingRuns) {
        // An alarm is what the command is there for: the oldest other event goes first, an alarm
        // only when nothing else waits.
        auto drop = std::find_if(hook.pending.begin(), hook.pending.end(),
                                 [](const PendingRun& r) { return eventOf(r) != "alarm"; });
        if (drop == hook.pending.end()) drop = hook.pending.begin();
        ctx.log.warn(LogCategory::Hook, commandName(hook) + " still runs and " + std::to_string(kPendingRuns) +
                                            " events wait for it: the oldest waiting one (" + eventOf(*drop) +
                                            ") is dropped; alarms are kept first");
        hook.pending.erase(drop);
    }
    hook.pending.push_back({std::move(environment)});
    if (hook.runner->running())
        ctx.log.info(LogCategory::Hook,
                     commandName(hook) + " still runs: " + eventOf(hook.pending.back()) + " waits its turn");
    startNext(ctx, hook);
}

}  // namespace

std::string nowText(const Clock& clock) {
    const LocalDateTime t = clock.now();
    const auto seconds = localSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second);
    return seconds ? isoText(*seconds) : std::string();
}

void reportAlarmRaised(EventContext ctx, const RaisedAlarm& alarm) {
    const bool cpm = alarm.kind == AlarmKind::Cpm;
    CommandRunner::Environment environment = baseEnvironment(ctx, EventKind::Alarm);
    const std::string time = environment[1].second;
    environment.insert(environment.end(), {
                                              {"RX47_ALARM_KIND", cpm ? "cpm" : "dose"},
                                              {"RX47_ALARM_VALUE", alarm.value},
                                              {"RX47_ALARM_LEVEL", alarm.level},
                                              {"RX47_ALARM_TIME", time},
                                              {"RX47_ALARM_MESSAGE", cpm ? kCpmAlarmText : kDoseAlarmText},
                                          });
    run(ctx, alarmHook(ctx), environment);
    run(ctx, eventHook(ctx), environment);
}

void reportEvent(EventContext ctx, EventKind kind) {
    if (kind == EventKind::Minute && !ctx.reporting.events.minutes) return;
    CommandRunner::Environment environment = baseEnvironment(ctx, kind);
    const MainForm& f = ctx.form;
    if (kind == EventKind::DeviceLost || kind == EventKind::DeviceFound)
        environment.emplace_back("RX47_PORT", "COM" + f.Combo1[kPortList].text);
    if (kind == EventKind::Minute) {
        static constexpr std::pair<const char*, int> kFigures[] = {
            {"RX47_CPM", kAverageCpm},           {"RX47_DOSE", kAverageDose}, {"RX47_AVERAGE_CPM", kRunningCpm},
            {"RX47_AVERAGE_DOSE", kRunningDose}, {"RX47_MAX_CPM", kMaxCpm},   {"RX47_MAX_DOSE", kMaxDose},
            {"RX47_MIN_CPM", kMinCpm},           {"RX47_MIN_DOSE", kMinDose}, {"RX47_TOTAL_COUNT", kTotalCount},
        };
        for (const auto& [name, label] : kFigures) environment.emplace_back(name, f.Label[label].caption);
    }
    run(ctx, eventHook(ctx), environment);
}

void commandEnded(EventContext ctx, bool alarmCommand, const CommandExit& exit) {
    const Hook hook = alarmCommand ? alarmHook(ctx) : eventHook(ctx);
    const std::string name = commandName(hook);
    if (!exit.started) {
        ctx.log.fail(LogCategory::Hook, hook.name, name + " cannot start: " + exit.error);
    } else if (exit.timedOut) {
        ctx.log.fail(LogCategory::Hook, hook.name,
                     name + " ran longer than its time limit of " +
                         std::to_string(ctx.reporting.events.timeout.count()) + " s and was ended");
    } else if (exit.crashed) {
        ctx.log.fail(LogCategory::Hook, hook.name, name + " ended abnormally: " + exit.error);
    } else if (exit.exitCode != 0) {
        ctx.log.fail(LogCategory::Hook, hook.name, name + " failed: exit status " + std::to_string(exit.exitCode));
    } else {
        ctx.log.clear(LogCategory::Hook, hook.name, name + " works again");
        ctx.log.info(LogCategory::Hook, name + " ended: exit status 0");
    }
    // What it wrote, its first lines; the rest counted.
    std::size_t at = 0;
    int lines = 0;
    std::size_t leftOut = exit.outputLeftOut;
    while (at < exit.output.size()) {
        std::size_t end = exit.output.find('\n', at);
        if (end == std::string::npos) end = exit.output.size();
        if (lines < kOutputLinesLogged) {
            std::string line = exit.output.substr(at, end - at);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            ctx.log.info(LogCategory::Hook, name + " wrote: " + line);
            ++lines;
        } else {
            leftOut += end - at + 1;
        }
        at = end + 1;
    }
    if (leftOut > 0)
        ctx.log.info(LogCategory::Hook, name + " wrote " + std::to_string(leftOut) + " bytes more (not logged)");
    startNext(ctx, hook);
}

}  // namespace rx47
