// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "monitor/dose.h"

#include "base/failure.h"
#include "base/number.h"
#include "model/context.h"
#include "model/monitor_state.h"
#include "monitor/link.h"
#include "storage/settings_row.h"

namespace rx47 {

std::string formatDose(Context& ctx, Cpm cpm) {
    if (ctx.values.gammaCoefficient == 0) {
        if (cpm.count() != 0)
            step([&] { ctx.values.gammaCoefficient = toUInt16(ctx.settings.number(column::kGammaCoefficient)); });
        else
            showDeviceNotFound(ctx);  // 0 ÷ 0: nothing has been heard from the device
        return "";
    }
    return DoseRate::of(cpm, ctx.values.gammaCoefficient).truncatedText();
}

}  // namespace rx47
