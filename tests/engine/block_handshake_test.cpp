#include "engine/block_handshake.h"
#include "tests/engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace peldor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(BlockHandshake, ReturnsAtOnceWithoutABlockAndWaitsForTheOneInProgress) {
    const auto before = Clock::now();
    EXPECT_TRUE(WaitForAudioThreadToLeave(5s));
    EXPECT_LT(Clock::now() - before, 1s);

    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::thread audio([&] {
        BlockInProgress block;
        started = true;
        while (!release) {
            std::this_thread::yield();
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    // A block that outlasts the limit: the caller hears it may not free anything.
    EXPECT_FALSE(WaitForAudioThreadToLeave(30ms));

    std::atomic<bool> left{false};
    std::thread waiter([&] { left = WaitForAudioThreadToLeave(10s); });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(left) << "returned while the block was still running";
    release = true;
    waiter.join();
    audio.join();
    EXPECT_TRUE(left);
    EXPECT_EQ(BlocksStarted(), BlocksFinished());
}

class HandshakeProcessorTest : public test::EngineFixture {};

TEST_F(HandshakeProcessorTest, ProcessBlockCountsItsBlocksEvenWhenItDoesNothing) {
    const std::uint64_t started = BlocksStarted();
    Run();
    CurrentStrips = nullptr;
    Run();
    EXPECT_EQ(BlocksStarted(), started + 2);
    EXPECT_EQ(BlocksFinished(), BlocksStarted());
}

} // namespace
} // namespace peldor
