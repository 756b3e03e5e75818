#include "audio_io/driver_notifier.h"

#include "engine/spin_lock.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <semaphore.h>
#include <thread>

namespace peldor {
namespace {

struct Notification {
    ASIOCallbacks callbacks{};
    bool rateChange = false;
    std::int32_t selector = 0;
    std::int32_t value = 0;
    ASIOSampleRate rate = 0.0;
};

class Notifier {
public:
    Notifier() {
        sem_init(&wake, 0, 0);
        thread = std::thread([this] { Run(); });
    }
    ~Notifier() {
        stopping.store(true, std::memory_order_release);
        sem_post(&wake);
        thread.join();
        sem_destroy(&wake);
    }

    bool Post(const Notification& n) noexcept {
        {
            std::lock_guard<SpinLock> lock(queueLock);
            if (count == kCapacity) {
                return false;
            }
            queue[(head + count) % kCapacity] = n;
            ++count;
        }
        sem_post(&wake);
        return true;
    }

private:
    static constexpr std::size_t kCapacity = 64;

    void Run() {
        for (;;) {
            while (sem_wait(&wake) != 0 && errno == EINTR) {
            }
            if (stopping.load(std::memory_order_acquire)) {
                return;
            }
            Notification n;
            {
                std::lock_guard<SpinLock> lock(queueLock);
                if (count == 0) {
                    continue;
                }
                n = queue[head];
                head = (head + 1) % kCapacity;
                --count;
            }
            if (n.rateChange) {
                if (n.callbacks.sampleRateDidChange != nullptr) {
                    n.callbacks.sampleRateDidChange(n.rate);
                }
            } else if (n.callbacks.asioMessage != nullptr) {
                n.callbacks.asioMessage(n.selector, n.value, nullptr, nullptr);
            }
        }
    }

    sem_t wake{};
    std::atomic<bool> stopping{false};
    SpinLock queueLock;
    std::array<Notification, kCapacity> queue{};
    std::size_t head = 0;
    std::size_t count = 0;
    std::thread thread;
};

Notifier& TheNotifier() {
    static Notifier notifier;
    return notifier;
}

// Started with the program, so the first post from a driver thread never constructs it.
[[maybe_unused]] const bool notifierStarted = (TheNotifier(), true);

} // namespace

bool PostDriverMessage(const ASIOCallbacks& callbacks, std::int32_t selector,
                       std::int32_t value) noexcept {
    Notification n;
    n.callbacks = callbacks;
    n.selector = selector;
    n.value = value;
    return TheNotifier().Post(n);
}

bool PostDriverRateChange(const ASIOCallbacks& callbacks, ASIOSampleRate rate) noexcept {
    Notification n;
    n.callbacks = callbacks;
    n.rateChange = true;
    n.rate = rate;
    return TheNotifier().Post(n);
}

} // namespace peldor
