#pragma once
// Allocation guard of the test binaries: every allocation made while the calling thread is
// inside a peldor::RealtimeScope is counted. The test main fails the test during which one
// happened, and likewise one that touched one of our mutexes inside such a scope.

#include <cstddef>

namespace peldor::test {

/// Allocations made inside real-time scopes since the program started. Any thread.
std::size_t RealtimeAllocationCount() noexcept;
/// Size of the most recent such allocation.
std::size_t LastRealtimeAllocationSize() noexcept;
/// Tells the test main that n of them were made on purpose (by the guard's own tests).
void AcknowledgeRealtimeAllocations(std::size_t n) noexcept;
/// Allocations acknowledged so far.
std::size_t AcknowledgedRealtimeAllocations() noexcept;

/// The same for lock operations on our own mutexes inside real-time scopes (see
/// engine/checked_mutex.h), which the test main fails as well.
void AcknowledgeRealtimeLocks(std::size_t n) noexcept;
std::size_t AcknowledgedRealtimeLocks() noexcept;

} // namespace peldor::test
