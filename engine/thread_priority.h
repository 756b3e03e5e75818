#pragma once
// The seven thread priorities of the audio-thread priority option, applied to a running thread
// from any thread as far as the system allows.

#include <pthread.h>
#include <sys/types.h>

namespace peldor {

inline constexpr int kIdlePriority = 0;
inline constexpr int kNormalPriority = 3;
inline constexpr int kTimeCriticalPriority = 6;

/// What ApplyThreadPriority achieved.
struct TPriorityResult {
    /// Real-time scheduling was asked for (priority 6) and refused; the thread got the nice
    /// value of "Highest" instead, or normal when that was refused too.
    bool RealtimeRefused = false;
    /// A nice value below 0 was refused; the thread stays at 0.
    bool NiceRefused = false;
};

/// Priority 0..6 (idle, lowest, lower, normal, higher, highest, time-critical) for the thread
/// with the given handle and kernel id. Time-critical asks for SCHED_FIFO at realtimePriority
/// (clamped to the system's range); the others use SCHED_IDLE (0) or SCHED_OTHER with a nice
/// value. Window thread; makes system calls. Values outside 0..6 change nothing.
TPriorityResult ApplyThreadPriority(pthread_t thread, pid_t tid, int priority,
                                    int realtimePriority) noexcept;

/// The kernel id of the calling thread.
pid_t CurrentThreadId() noexcept;

} // namespace peldor
