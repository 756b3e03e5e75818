#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace peldor {

/// Runs work on a thread of its own and waits for it at most limit. True when it finished in
/// time. On a timeout the thread is left to finish (or to stay blocked until the process ends)
/// with everything work owns. For calls into libraries that talk to another process (a sound
/// server that is going away may never answer), never for the audio thread.
template <typename Work> bool RunBounded(Work work, std::chrono::milliseconds limit) {
    struct Done {
        std::mutex lock;
        std::condition_variable signal;
        bool finished = false;
    };
    auto done = std::make_shared<Done>();
    try {
        std::thread([work = std::move(work), done]() mutable {
            work();
            std::lock_guard<std::mutex> hold(done->lock);
            done->finished = true;
            done->signal.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false; // no thread to spare: the work was dropped with the callable
    }
    std::unique_lock<std::mutex> hold(done->lock);
    return done->signal.wait_for(hold, limit, [&] { return done->finished; });
}

} // namespace peldor
