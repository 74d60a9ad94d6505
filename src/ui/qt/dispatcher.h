// The one road from the event loop into the core: every timer tick, serial data event and user event
// of the main window runs its core handler through run(), which lets nothing escape into Qt's event
// loop and then brings the views in step with the model.
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

    /// Runs one core handler, swallowing whatever it throws, then the re-sync (if any).
    void run(const Handler& handler);
    /// Runs a handler that changes nothing when run again straight after itself (the data-received
    /// event): while no other handler has run since its last run, a call does nothing. A burst of
    /// arrivals between two timer ticks costs one run.
    void runCollapsing(void (*handler)(Context&));
    /// What runs after every handler: the views' sync.
    void setAfterEach(std::function<void()> afterEach) { afterEach_ = std::move(afterEach); }

    Context& context() { return ctx_; }

private:
    void guarded(const std::function<void()>& body);

    Context& ctx_;
    std::function<void()> afterEach_;
    std::uint64_t runs_ = 0;  // handlers run so far
    void (*collapsing_)(Context&) = nullptr;
    std::uint64_t collapsingRuns_ = 0;  // runs_ after the collapsing handler's last run
};

}  // namespace rx47
