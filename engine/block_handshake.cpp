#include "engine/block_handshake.h"

#include <atomic>
#include <thread>

namespace peldor {

namespace {

std::atomic<std::uint64_t> Started{0};
std::atomic<std::uint64_t> Finished{0};
std::atomic<std::uint64_t> RenderMarks[kMaxRenderMarks] = {};
std::atomic<bool> RenderMarkTaken[kMaxRenderMarks] = {};

/// Waits until the counter leaves the odd value it had, or the deadline passes.
bool WaitForChange(const std::atomic<std::uint64_t>& counter, std::uint64_t odd,
                   std::chrono::steady_clock::time_point deadline) {
    for (int spins = 0; counter.load(std::memory_order_acquire) == odd; ++spins) {
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

int AcquireRenderMark() noexcept {
    for (int m = 0; m < kMaxRenderMarks; ++m) {
        bool expected = false;
        if (RenderMarkTaken[m].compare_exchange_strong(expected, true)) {
            return m;
        }
    }
    return -1;
}

void ReleaseRenderMark(int mark) noexcept {
    if (mark >= 0 && mark < kMaxRenderMarks) {
        RenderMarkTaken[mark].store(false);
    }
}

void NoteRenderStarted(int mark) noexcept {
    // The same pairing as NoteBlockStarted, per mark.
    RenderMarks[mark].fetch_add(1, std::memory_order_acq_rel);
}

void NoteRenderFinished(int mark) noexcept {
    RenderMarks[mark].fetch_add(1, std::memory_order_release);
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
    std::uint64_t marks[kMaxRenderMarks];
    bool anyRendering = false;
    for (int m = 0; m < kMaxRenderMarks; ++m) {
        marks[m] = RenderMarks[m].fetch_add(0, std::memory_order_acq_rel);
        anyRendering = anyRendering || (marks[m] & 1u) != 0;
    }
    if (!anyRendering && Finished.load(std::memory_order_acquire) >= target) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int m = 0; m < kMaxRenderMarks; ++m) {
        if ((marks[m] & 1u) != 0 && !WaitForChange(RenderMarks[m], marks[m], deadline)) {
            return false;
        }
    }
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
