#include "app/shutdown_watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace peldor::test {
namespace {

using namespace std::chrono_literals;

// A shut-down stuck for good (as in a call to a sound server that never answers) ends the
// process with the code given, after the last line.
TEST(ShutdownWatchdogDeathTest, EndsAProcessStuckInItsShutDown) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const TShutdownWatchdog watchdog(100ms, [] { std::fputs("stuck; ending\n", stderr); });
            for (;;) {
                std::this_thread::sleep_for(1h);
            }
        },
        ::testing::ExitedWithCode(0), "stuck; ending");
    EXPECT_EXIT(
        {
            const TShutdownWatchdog watchdog(50ms, nullptr, 3);
            for (;;) {
                std::this_thread::sleep_for(1h);
            }
        },
        ::testing::ExitedWithCode(3), "");
}

// A shut-down that finishes disarms it at once: nothing fires later, and leaving does not
// wait for the limit.
TEST(ShutdownWatchdogTest, AFinishedShutDownDisarmsIt) {
    std::atomic<bool> fired{false};
    {
        const TShutdownWatchdog watchdog(100ms, [&] { fired = true; });
        EXPECT_TRUE(watchdog.Armed());
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(fired.load());

    const auto begin = std::chrono::steady_clock::now();
    { const TShutdownWatchdog watchdog(60s, nullptr); }
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 30s) << "leaving waited for the limit";
}

} // namespace
} // namespace peldor::test
