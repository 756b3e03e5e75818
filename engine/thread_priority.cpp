#include "engine/thread_priority.h"

#include <algorithm>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace peldor {

namespace {

// Nice values of idle..time-critical; time-critical falls back to "Highest" without real-time
// scheduling.
constexpr int kNice[7] = {19, 10, 5, 0, -5, -10, -10};

} // namespace

pid_t CurrentThreadId() noexcept {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

TPriorityResult ApplyThreadPriority(pthread_t thread, pid_t tid, int priority,
                                    int realtimePriority) noexcept {
    TPriorityResult result;
    if (priority < kIdlePriority || priority > kTimeCriticalPriority) {
        return result;
    }
    sched_param param{};
    if (priority == kTimeCriticalPriority) {
        param.sched_priority = std::clamp(realtimePriority, sched_get_priority_min(SCHED_FIFO),
                                          sched_get_priority_max(SCHED_FIFO));
        if (pthread_setschedparam(thread, SCHED_FIFO, &param) == 0) {
            setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
            return result;
        }
        result.RealtimeRefused = true;
        param.sched_priority = 0;
    }
    pthread_setschedparam(thread, priority == kIdlePriority ? SCHED_IDLE : SCHED_OTHER, &param);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kNice[priority]) != 0) {
        // Not allowed to raise: stay at the normal level rather than fail.
        result.NiceRefused = true;
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 0);
    }
    return result;
}

} // namespace peldor
