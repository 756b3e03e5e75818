#include "engine/block_handshake.h"

#include <atomic>
#include <thread>

namespace peldor {

namespace {

std::atomic<std::uint64_t> Started{0};
std::atomic<std::uint64_t> Finished{0};

} // namespace

void NoteBlockStarted() noexcept {
    // A read-modify-write that pairs with the one in WaitForAudioThreadToLeave: whichever comes
    // second in the counter's order sees the other. Either the waiter sees this block as
    // started, or this block's later loads see what the waiter unpublished before it looked.
    Started.fetch_add(1, std::memory_order_acq_rel);
}

void NoteBlockFinished() noexcept {
    // Release: every access of the block happens before a waiter that sees the count.
    Finished.fetch_add(1, std::memory_order_release);
}

std::uint64_t BlocksStarted() noexcept {
    return Started.load(std::memory_order_relaxed);
}

std::uint64_t BlocksFinished() noexcept {
    return Finished.load(std::memory_order_acquire);
}

bool WaitForAudioThreadToLeave(std::chrono::milliseconds limit) {
    // Adding 0 rather than loading: see NoteBlockStarted.
    const std::uint64_t target = Started.fetch_add(0, std::memory_order_acq_rel);
    if (Finished.load(std::memory_order_acquire) >= target) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // A block lasts a few milliseconds; yield first, then sleep in short steps.
    for (int spins = 0; Finished.load(std::memory_order_acquire) < target; ++spins) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (spins < 50) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    return true;
}

} // namespace peldor
