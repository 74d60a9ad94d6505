#include "device/dose.h"

#include <cmath>

#include "base/failure.h"
#include "base/number.h"
#include "device/link.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "storage/settings_row.h"

namespace rx47 {

std::string doseText(std::int32_t cpm, std::uint16_t gammaCoefficient) {
    double q = static_cast<double>(cpm) / gammaCoefficient * 1000;
    q = std::floor(q) / 1000;  // truncated, not rounded
    std::string s = decimalText(q);
    if (s.size() >= 5) return s;
    if (s.find('.') == std::string::npos) s += '.';
    while (s.size() < 5) s += '0';
    return s;
}

std::string formatDose(Context& ctx, std::int32_t cpm) {
    if (ctx.values.gammaCoefficient == 0) {
        if (cpm != 0)
            step([&] { ctx.values.gammaCoefficient = toUInt16(ctx.settings.number("gkeisuu")); });
        else
            showDeviceNotFound(ctx);  // 0 ÷ 0: nothing has been heard from the device
        return "";
    }
    return doseText(cpm, ctx.values.gammaCoefficient);
}

}  // namespace rx47
