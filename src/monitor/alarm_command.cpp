#include "monitor/alarm_command.h"

#include "base/local_time.h"
#include "base/log.h"
#include "model/context.h"
#include "monitor/alarms.h"
#include "platform/clock.h"
#include "platform/command_runner.h"

namespace rx47 {

namespace {

constexpr const char* kCommandCause = "alarm command";

std::string nowText(const Context& ctx) {
    const LocalDateTime t = ctx.clock.now();
    const auto seconds = localSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second);
    return seconds ? isoText(*seconds) : std::string();
}

}  // namespace

void runAlarmCommand(Context& ctx, const RaisedAlarm& alarm) {
    const std::vector<std::string>& command = ctx.reporting.alarmCommand;
    if (command.empty() || !ctx.commandRunner) return;
    CommandRunner& runner = *ctx.commandRunner;
    const std::string& program = command.front();
    if (runner.running()) {
        ctx.log.warn(LogCategory::Hook,
                     "the alarm command " + program + " still runs from an earlier alarm: not run for this one");
        return;
    }

    const bool cpm = alarm.kind == AlarmKind::Cpm;
    const CommandRunner::Environment environment = {
        {"RX47_ALARM_KIND", cpm ? "cpm" : "dose"},
        {"RX47_ALARM_VALUE", alarm.value},
        {"RX47_ALARM_LEVEL", alarm.level},
        {"RX47_ALARM_TIME", nowText(ctx)},
        {"RX47_ALARM_MESSAGE", cpm ? kCpmAlarmText : kDoseAlarmText},
        {"RX47_PROGRAM_FOLDER", ctx.programFolder.string()},
    };
    runner.setFinishedHandler([&ctx](const CommandExit& exit) { alarmCommandEnded(ctx, exit); });
    const CommandStart start =
        runner.start(program, std::vector<std::string>(command.begin() + 1, command.end()), environment);
    if (!start.started) {
        ctx.log.fail(LogCategory::Hook, kCommandCause,
                     "the alarm command " + program + " cannot start: " + start.error);
        return;
    }
    ctx.log.info(LogCategory::Hook,
                 "the alarm command " + program + " started for a " + (cpm ? "CPM" : "dose") + " alarm");
}

void alarmCommandEnded(Context& ctx, const CommandExit& exit) {
    const std::string program = ctx.reporting.alarmCommand.empty() ? "" : ctx.reporting.alarmCommand.front();
    if (!exit.started) {
        ctx.log.fail(LogCategory::Hook, kCommandCause, "the alarm command " + program + " cannot start: " + exit.error);
    } else if (exit.crashed) {
        ctx.log.fail(LogCategory::Hook, kCommandCause,
                     "the alarm command " + program + " ended abnormally: " + exit.error);
    } else if (exit.exitCode != 0) {
        ctx.log.fail(LogCategory::Hook, kCommandCause,
                     "the alarm command " + program + " failed: exit status " + std::to_string(exit.exitCode));
    } else {
        ctx.log.clear(LogCategory::Hook, kCommandCause, "the alarm command " + program + " works again");
        ctx.log.info(LogCategory::Hook, "the alarm command " + program + " ended: exit status 0");
    }
}

}  // namespace rx47
