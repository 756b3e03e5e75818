// The allocation guard itself: it must see C++ and C allocations inside a real-time scope and
// nothing outside one, or the zero-allocation tests of the audio path prove nothing.

#include "engine/checked_mutex.h"
#include "engine/realtime_scope.h"
#include "tests/support/alloc_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace peldor {
namespace {

TEST(RealtimeGuard, CountsAllocationsInsideScopesOnly) {
    const std::size_t before = test::RealtimeAllocationCount();
    auto outside = std::make_unique<int>(1);
    EXPECT_EQ(test::RealtimeAllocationCount(), before);
    {
        RealtimeScope scope;
        auto inside = std::make_unique<int[]>(100);
        EXPECT_EQ(test::RealtimeAllocationCount(), before + 1);
        EXPECT_EQ(test::LastRealtimeAllocationSize(), 100 * sizeof(int));
        {
            RealtimeExemption exempt;
            auto allowed = std::make_unique<int>(2);
        }
        EXPECT_EQ(test::RealtimeAllocationCount(), before + 1);
    }
    EXPECT_FALSE(InRealtimeScope());
    std::size_t made = 1;
#if !defined(PELDOR_SANITIZER_BUILD)
    // Plugins written in C allocate with malloc; the plain build watches it too.
    {
        RealtimeScope scope;
        // Through a volatile pointer, so the compiler cannot drop the pair.
        void* volatile p = std::malloc(64);
        std::free(p);
    }
    EXPECT_EQ(test::RealtimeAllocationCount(), before + 2);
    made = 2;
#endif
    test::AcknowledgeRealtimeAllocations(made);
}

TEST(RealtimeGuard, CountsOurMutexesTouchedInsideScopesOnly) {
    CheckedMutex mutex;
    const std::size_t before = RealtimeLockCount();
    { std::lock_guard hold(mutex); }
    EXPECT_EQ(RealtimeLockCount(), before);
    {
        RealtimeScope scope;
        if (mutex.try_lock()) {
            mutex.unlock();
        }
        EXPECT_EQ(RealtimeLockCount(), before + 2);
    }
    test::AcknowledgeRealtimeLocks(2);
}

} // namespace
} // namespace peldor
