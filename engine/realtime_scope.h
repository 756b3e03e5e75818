#pragma once
// Marks code that runs on the driver's callback thread. Production code only counts the
// nesting depth (one thread-local increment); the test binaries replace the allocation
// functions and fail any allocation made while the depth is above zero.

namespace peldor {

/// Nesting depth of real-time scopes on the calling thread.
int& RealtimeDepth() noexcept;

/// True while the calling thread is inside a RealtimeScope.
inline bool InRealtimeScope() noexcept {
    return RealtimeDepth() > 0;
}

/// RAII marker for a real-time section. Any thread; costs one thread-local increment.
class RealtimeScope {
public:
    RealtimeScope() noexcept { ++RealtimeDepth(); }
    ~RealtimeScope() { --RealtimeDepth(); }
    RealtimeScope(const RealtimeScope&) = delete;
    RealtimeScope& operator=(const RealtimeScope&) = delete;
};

/// Lets a real-time section call something that is allowed to allocate (a test fake, say).
class RealtimeExemption {
public:
    RealtimeExemption() noexcept : saved(RealtimeDepth()) { RealtimeDepth() = 0; }
    ~RealtimeExemption() { RealtimeDepth() = saved; }
    RealtimeExemption(const RealtimeExemption&) = delete;
    RealtimeExemption& operator=(const RealtimeExemption&) = delete;

private:
    int saved;
};

} // namespace peldor
