#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace peldor {

/// Ends the process when the rest of a shut-down does not finish in time. A sound server or a
/// plugin that stops answering while the program closes must not leave a program that never
/// ends: by the time this is armed, everything the user would lose is written, and what is
/// left is giving back resources the system reclaims anyway.
class TShutdownWatchdog {
public:
    /// onTimeout runs on the watchdog's thread just before the process ends (for a last line
    /// on stderr); it must not wait for anything the stuck thread may hold.
    using TTimeout = std::function<void()>;

    TShutdownWatchdog(std::chrono::milliseconds limit, TTimeout onTimeout, int exitCode = 0);
    /// Disarms and waits for the watchdog's thread.
    ~TShutdownWatchdog();

    TShutdownWatchdog(const TShutdownWatchdog&) = delete;
    TShutdownWatchdog& operator=(const TShutdownWatchdog&) = delete;

    /// Whether the watchdog's thread runs (a machine out of threads shuts down unguarded).
    bool Armed() const noexcept { return thread.joinable(); }

private:
    void Watch(std::chrono::milliseconds limit, int exitCode);

    TTimeout timeout;
    std::mutex lock;
    std::condition_variable finished;
    bool disarmed = false;
    std::thread thread;
};

/// How long the shut-down may take once the settings are written: its own pauses, and a
/// bounded wait for each sound-server client it closes.
inline constexpr std::chrono::milliseconds kShutdownLimit{12000};

} // namespace peldor
