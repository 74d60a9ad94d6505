#include "monitor/minute_update.h"

#include <cmath>

#include "base/failure.h"
#include "base/number.h"
#include "device/dose.h"
#include "device/link.h"
#include "device/protocol.h"
#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"
#include "monitor/timer_schedule.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "platform/timer_array.h"
#include "storage/records.h"

namespace rx47 {

void minuteUpdate(Context& ctx) {
    MonitorState& s = ctx.state;
    MainForm& f = ctx.form;

    const int minute = ctx.clock.now().minute;
    if (minute == s.lastMinute) return;
    // After start, a port advance or a regained link (lastMinute 0) the buffer may hold the answer
    // that proves the device is there: keep it.
    if (s.lastMinute != 0) step([&] { ctx.port.clearInput(); });
    s.lastMinute = minute;

    relabelTimeAxis(ctx);
    scrollBars(ctx);
    drawDoseSegments(ctx);
    const bool stopped = f.Option1[1].value;
    if (stopped) clearNewestBar(ctx);
    hideBrokenSegments(ctx);
    // While the data link is stopped the graph keeps scrolling and the statistics stand still.
    if (stopped) return;

    if (!f.cmd[0].enabled) f.cmd[0].enabled = true;
    if (ctx.port.isOpen()) {
        ctx.timers.start(timer::kTxLamp);
        step([&] { sendCommand(ctx.port, command::kShow); });
    }
    // Nothing heard on the port being tried, or the port closed under us (the adapter was
    // unplugged): go on searching. Without this only a device that had never been heard (no
    // coefficient yet) would be looked for, and a lost device never found again.
    if (s.linkUp == kFalse || !ctx.port.isOpen()) showDeviceNotFound(ctx);

    const std::int32_t cpm = s.minuteCpm;
    step([&] { setNewestBar(ctx, cpm); });

    f.Label[kAverageCpm].caption = decimalText(cpm);
    f.Label[kAverageDose].caption = formatDose(ctx, cpm);

    if (cpm >= s.maxCpm) {
        f.Label[kMaxCpm].caption = decimalText(cpm);
        f.Label[kMaxDose].caption = formatDose(ctx, cpm);
        s.maxCpm = cpm;
        step([&] { movePeakMarkers(ctx, cpm); });
    }
    if (cpm <= s.minCpm) {
        f.Label[kMinCpm].caption = decimalText(cpm);
        f.Label[kMinDose].caption = formatDose(ctx, cpm);
        s.minCpm = cpm;
    }

    step([&] { s.minuteSum = toInt32(static_cast<double>(s.minuteSum) + cpm); });
    step([&] { s.minuteCount = toInt32(static_cast<double>(s.minuteCount) + 1); });
    step([&] {
        if (s.minuteCount == 0) throw Overflow("no minutes");
        const double average = std::floor(static_cast<double>(s.minuteSum) / s.minuteCount + 0.5);
        f.Label[kRunningCpm].caption = decimalText(average);
        f.Label[kRunningDose].caption = formatDose(ctx, toInt32(average));
    });

    s.readingCount = 0;
    s.readingSum = 0;

    step([&] { writeMeasurementRecord(ctx); });
}

}  // namespace rx47
