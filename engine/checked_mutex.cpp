#include "engine/checked_mutex.h"

#include <atomic>

namespace peldor {

namespace {
std::atomic<std::size_t> realtimeLocks{0};
} // namespace

std::size_t RealtimeLockCount() noexcept {
    return realtimeLocks.load(std::memory_order_relaxed);
}

void NoteRealtimeLock() noexcept {
    realtimeLocks.fetch_add(1, std::memory_order_relaxed);
}

} // namespace peldor
