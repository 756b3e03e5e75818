// The allocation guard itself: it must see C++ and C allocations inside a real-time scope and
// nothing outside one, or the zero-allocation tests of the audio path prove nothing.

#include "engine/realtime_scope.h"
#include "tests/support/alloc_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

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

} // namespace
} // namespace peldor
