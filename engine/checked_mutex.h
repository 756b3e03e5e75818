#pragma once
// CheckedMutex: the program's own mutex for locks the window and MIDI threads share. It is an
// ordinary std::mutex that also counts every lock, try_lock and unlock made inside a
// RealtimeScope, so the test binaries fail a test whose audio path touched one (unlocking a
// contended mutex wakes its waiter with a system call). The check costs one thread-local read.

#include "engine/realtime_scope.h"

#include <cstddef>
#include <mutex>

namespace peldor {

/// Lock operations made inside real-time scopes since the program started. Any thread.
std::size_t RealtimeLockCount() noexcept;
/// Counts one such operation. Called by CheckedMutex only.
void NoteRealtimeLock() noexcept;

class CheckedMutex {
public:
    void lock() {
        Check();
        mutex.lock();
    }
    bool try_lock() {
        Check();
        return mutex.try_lock();
    }
    void unlock() {
        Check();
        mutex.unlock();
    }

private:
    static void Check() noexcept {
        if (InRealtimeScope()) [[unlikely]] {
            NoteRealtimeLock();
        }
    }
    std::mutex mutex;
};

} // namespace peldor
