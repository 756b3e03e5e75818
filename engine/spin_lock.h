#pragma once
// A lock for critical sections of a few instructions that the audio thread may take: it never
// sleeps and makes no system call. Hold it around plain memory updates only, never around a
// call into a plugin.

#include <atomic>

namespace peldor {

class SpinLock {
public:
    void lock() noexcept {
        while (flag.test_and_set(std::memory_order_acquire)) {
            while (flag.test(std::memory_order_relaxed)) {
                __builtin_ia32_pause();
            }
        }
    }
    bool try_lock() noexcept { return !flag.test_and_set(std::memory_order_acquire); }
    void unlock() noexcept { flag.clear(std::memory_order_release); }

private:
    std::atomic_flag flag = ATOMIC_FLAG_INIT;
};

} // namespace peldor
