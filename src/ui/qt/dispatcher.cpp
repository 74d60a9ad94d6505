#include "ui/qt/dispatcher.h"

#include <cstdio>
#include <exception>

#include "base/failure.h"

namespace rx47 {

namespace {

template <class Body>
void guarded(Body&& body) {
    try {
        body();
    } catch (const Failure&) {
        // A core failure the handler did not skip itself: the handler ends here, as the program's
        // failure rule says; nothing is reported.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rx47-monitor: handler failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "rx47-monitor: handler failed\n");
    }
}

}  // namespace

void Dispatcher::run(const Handler& handler) {
    guarded([&] { handler(ctx_); });
    if (afterEach_) guarded(afterEach_);
}

}  // namespace rx47
