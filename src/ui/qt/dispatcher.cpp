// SPDX-FileCopyrightText: 2026 The RX47 monitor developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/qt/dispatcher.h"

#include <exception>
#include <string>

#include "base/failure.h"
#include "base/log.h"
#include "model/context.h"

namespace rx47 {

void Dispatcher::guarded(const std::function<void()>& body) {
    try {
        body();
    } catch (const Failure& e) {
        // A core failure the handler did not skip itself ends the handler here, as the program's
        // failure rule says; it is logged once per kind of failure.
        ctx_.log.fail(LogCategory::Program, std::string("escaped:") + e.what(),
                      std::string("a handler ended early: ") + e.what());
    } catch (const std::exception& e) {
        ctx_.log.warn(LogCategory::Program, std::string("a handler failed: ") + e.what());
    } catch (...) {
        ctx_.log.warn(LogCategory::Program, "a handler failed with an unknown error");
    }
}

void Dispatcher::run(const Handler& handler) {
    ++runs_;
    guarded([&] { handler(ctx_); });
    if (afterEach_) guarded(afterEach_);
    // A copy: a handler run from the dialog's sync may not replace the function that runs.
    if (const std::function<void()> dialogSync = dialogSync_) guarded(dialogSync);
}

void Dispatcher::runCollapsing(void (*handler)(Context&)) {
    if (collapsing_ == handler && collapsingRuns_ == runs_) return;
    run(handler);
    collapsing_ = handler;
    collapsingRuns_ = runs_;
}

}  // namespace rx47
