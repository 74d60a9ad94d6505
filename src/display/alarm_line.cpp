#include "display/alarm_line.h"

#include "base/number.h"
#include "model/context.h"
#include "model/main_form.h"
#include "model/monitor_state.h"

namespace rx47 {

void placeCpmAlarmLine(Context& ctx) {
    const std::int16_t height = toInt16(static_cast<double>(ctx.values.cpmAlarmLevel) * ctx.values.cpmScaleFactor);
    const std::int16_t y = toInt16(static_cast<double>(graph::kBaseY) - height);
    ctx.form.lne[kAlarmLine].y1 = y;
    ctx.form.lne[kAlarmLine].y2 = y;
}

}  // namespace rx47
