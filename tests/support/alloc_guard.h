#pragma once
// Allocation guard of the test binaries: every allocation made while the calling thread is
// inside a peldor::RealtimeScope is counted. The test main fails the test during which one
// happened.

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

} // namespace peldor::test
