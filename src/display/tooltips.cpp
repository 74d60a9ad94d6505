// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "display/tooltips.h"

#include "display/trend_graph.h"
#include "model/context.h"
#include "model/main_form.h"

namespace rx47 {

std::string barToolTip(const MainForm& form, int index) {
    if (index == graph::kPeakBar) return " 最大CPM ： " + form.Label[kMaxCpm].caption + " ";
    if (index == graph::kPeakMarker) return " 最大線量 ： " + form.Label[kMaxDose].caption + "μSv/h  ";
    if (index >= 0 && index <= graph::kNewest) return form.tgt[index].caption;
    return {};
}

void tgt_MouseMove(DisplayContext ctx, int index) {
    if (index < 0 || index > graph::kPeakMarker) return;
    ctx.form.tgt[index].toolTip = barToolTip(ctx.form, index);
}

}  // namespace rx47
