// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The metrics file of a monitoring stack (storage/metrics.h), named on the command line: rewritten
// after each minute update, and when an alarm is raised or acknowledged, with the figures the window
// shows, the link state and the alarm state. A file that cannot be written is logged once until it
// can be again; the program goes on all the same.
#pragma once

#include "model/context.h"
#include "storage/metrics.h"

namespace rx47 {

struct ReportContext;

/// The figures as they stand: the readout captions, the link and the alarm shown.
MetricsFigures currentMetrics(const ReportContext& ctx);

/// Rewrites the metrics file, when one is named. Never throws.
void writeMetricsFile(ReportContext ctx) noexcept;

/// Publishes the state over MQTT, when a broker is named. Never throws.
void publishStateNoexcept(ReportContext ctx) noexcept;

/// Rewrites the metrics file and publishes the state when it goes: however a minute update ends (the
/// data link stopped, a minute not measured, the figures entered), both show where it left them.
class MetricsAtEnd {
public:
    explicit MetricsAtEnd(ReportContext ctx) : ctx_(ctx) {}
    ~MetricsAtEnd() {
        writeMetricsFile(ctx_);
        publishStateNoexcept(ctx_);
    }
    MetricsAtEnd(const MetricsAtEnd&) = delete;
    MetricsAtEnd& operator=(const MetricsAtEnd&) = delete;

private:
    ReportContext ctx_;
};

}  // namespace rx47
