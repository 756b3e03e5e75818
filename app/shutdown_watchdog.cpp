#include "app/shutdown_watchdog.h"

#include <cstdlib>
#include <system_error>

namespace peldor {

TShutdownWatchdog::TShutdownWatchdog(std::chrono::milliseconds limit, TTimeout onTimeout,
                                     int exitCode)
    : timeout(std::move(onTimeout)) {
    try {
        thread = std::thread([this, limit, exitCode] { Watch(limit, exitCode); });
    } catch (const std::system_error&) {
    }
}

TShutdownWatchdog::~TShutdownWatchdog() {
    {
        std::lock_guard<std::mutex> hold(lock);
        disarmed = true;
    }
    finished.notify_all();
    if (thread.joinable()) {
        thread.join();
    }
}

void TShutdownWatchdog::Watch(std::chrono::milliseconds limit, int exitCode) {
    std::unique_lock<std::mutex> hold(lock);
    if (finished.wait_for(hold, limit, [this] { return disarmed; })) {
        return;
    }
    if (timeout) {
        timeout();
    }
    // No destructors, no exit handlers: the stuck thread may hold what they would need.
    std::_Exit(exitCode);
}

} // namespace peldor
