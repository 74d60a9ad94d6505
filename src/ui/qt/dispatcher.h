// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The one road from the event loop into the core: every timer tick, serial data event, event of the
// main window and of the settings dialog, press on the notification-area icon, request of another
// copy and the termination runs its core handler through run(), which lets nothing escape into Qt's
// event loop (what escapes is logged) and then brings the views in step with the model.
#pragma once

#include <cstdint>
#include <functional>

namespace rx47 {

struct Context;

class Dispatcher {
public:
    using Handler = std::function<void(Context&)>;

    explicit Dispatcher(Context& ctx) : ctx_(ctx) {}
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    /// Runs one core handler, logging whatever escapes it and going on, then the main window's sync
    /// and the settings dialog's (when set).
    void run(const Handler& handler);
    /// Runs a handler that changes nothing when run again straight after itself (the data-received
    /// event): while no other handler has run since its last run, a call does nothing. A burst of
    /// arrivals between two timer ticks costs one run.
    void runCollapsing(void (*handler)(Context&));
    /// What runs after every handler: the main window's sync.
    void setAfterEach(std::function<void()> afterEach) { afterEach_ = std::move(afterEach); }
    /// What runs after every handler while the settings dialog is open: its sync. The dialog sets it
    /// when it is built and clears it (an empty function) when it goes.
    void setDialogSync(std::function<void()> sync) { dialogSync_ = std::move(sync); }

    Context& context() { return ctx_; }

private:
    void guarded(const std::function<void()>& body);

    Context& ctx_;
    std::function<void()> afterEach_;
    std::function<void()> dialogSync_;
    std::uint64_t runs_ = 0;  // handlers run so far
    void (*collapsing_)(Context&) = nullptr;
    std::uint64_t collapsingRuns_ = 0;  // runs_ after the collapsing handler's last run
};

}  // namespace rx47
