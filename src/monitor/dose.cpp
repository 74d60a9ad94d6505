// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/dose.h"

#include "base/failure.h"
#include "base/number.h"
#include "model/context.h"
#include "model/dose.h"
#include "model/monitor_state.h"
#include "monitor/link.h"
#include "storage/settings_row.h"

namespace rx47 {

std::string formatDose(Context& ctx, std::int32_t cpm) {
    if (ctx.values.gammaCoefficient == 0) {
        if (cpm != 0)
            step([&] { ctx.values.gammaCoefficient = toUInt16(ctx.settings.number(column::kGammaCoefficient)); });
        else
            showDeviceNotFound(ctx);  // 0 ÷ 0: nothing has been heard from the device
        return "";
    }
    return doseText(cpm, ctx.values.gammaCoefficient);
}

}  // namespace rx47
