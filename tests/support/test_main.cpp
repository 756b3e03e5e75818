// The main of every test binary: GoogleTest, plus a listener that fails the run when a test
// allocated, or touched one of our mutexes, inside a real-time scope.

#include "engine/checked_mutex.h"
#include "tests/support/alloc_guard.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class RealtimeAllocationListener final : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override {
        before = peldor::test::RealtimeAllocationCount();
        acknowledgedBefore = peldor::test::AcknowledgedRealtimeAllocations();
        locksBefore = peldor::RealtimeLockCount();
        acknowledgedLocksBefore = peldor::test::AcknowledgedRealtimeLocks();
    }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        const std::size_t counted = peldor::test::RealtimeAllocationCount() - before;
        const std::size_t acknowledged =
            peldor::test::AcknowledgedRealtimeAllocations() - acknowledgedBefore;
        const std::size_t made = counted > acknowledged ? counted - acknowledged : 0;
        if (made > 0) {
            std::fprintf(stderr,
                         "[ REALTIME ] %s.%s allocated %zu time(s) inside a real-time scope "
                         "(last size %zu bytes)\n",
                         info.test_suite_name(), info.name(), made,
                         peldor::test::LastRealtimeAllocationSize());
            failed = true;
        }
        const std::size_t locks = peldor::RealtimeLockCount() - locksBefore;
        const std::size_t locksAcknowledged =
            peldor::test::AcknowledgedRealtimeLocks() - acknowledgedLocksBefore;
        if (locks > locksAcknowledged) {
            std::fprintf(stderr,
                         "[ REALTIME ] %s.%s took, tried or released a mutex %zu time(s) inside a "
                         "real-time scope\n",
                         info.test_suite_name(), info.name(), locks - locksAcknowledged);
            failed = true;
        }
    }
    bool failed = false;

private:
    std::size_t before = 0;
    std::size_t acknowledgedBefore = 0;
    std::size_t locksBefore = 0;
    std::size_t acknowledgedLocksBefore = 0;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    auto* listener = new RealtimeAllocationListener;
    ::testing::UnitTest::GetInstance()->listeners().Append(listener);
    const int result = RUN_ALL_TESTS();
    if (listener->failed) {
        std::fprintf(stderr,
                     "[ REALTIME ] allocations or locks inside real-time scopes: failing\n");
        return 1;
    }
    return result;
}
