#pragma once
// Relaxed<T>: a value shared between the window thread and the audio thread without a lock.
// Each read and write is one relaxed atomic access, so a reader sees the old or the new value
// whole, never a torn one, and ThreadSanitizer sees no data race. Values of different fields
// may mix old and new within one audio block; the engine accepts that.

#include <atomic>
#include <type_traits>

namespace peldor {

template <typename T> class Relaxed {
    static_assert(std::is_trivially_copyable_v<T>);
    static_assert(std::atomic<T>::is_always_lock_free, "shared values must be lock-free");

public:
    constexpr Relaxed() noexcept : value(T{}) {}
    constexpr Relaxed(T initial) noexcept : value(initial) {}
    Relaxed(const Relaxed& other) noexcept : value(other.Load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        Store(other.Load());
        return *this;
    }
    Relaxed& operator=(T newValue) noexcept {
        Store(newValue);
        return *this;
    }

    operator T() const noexcept { return Load(); }
    T Load() const noexcept { return value.load(std::memory_order_relaxed); }
    void Store(T newValue) noexcept { value.store(newValue, std::memory_order_relaxed); }

private:
    std::atomic<T> value;
};

static_assert(sizeof(Relaxed<float>) == sizeof(float));
static_assert(sizeof(Relaxed<unsigned char>) == 1);

} // namespace peldor
