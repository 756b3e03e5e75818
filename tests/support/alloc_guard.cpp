#include "tests/support/alloc_guard.h"

#include "engine/realtime_scope.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace peldor::test {
namespace {

std::atomic<std::size_t> realtimeAllocations{0};
std::atomic<std::size_t> lastRealtimeSize{0};
std::atomic<std::size_t> acknowledged{0};
std::atomic<std::size_t> acknowledgedLocks{0};

inline void Check(std::size_t size) noexcept {
    if (peldor::InRealtimeScope()) {
        realtimeAllocations.fetch_add(1, std::memory_order_relaxed);
        lastRealtimeSize.store(size, std::memory_order_relaxed);
    }
}

} // namespace

std::size_t RealtimeAllocationCount() noexcept {
    return realtimeAllocations.load(std::memory_order_relaxed);
}
std::size_t LastRealtimeAllocationSize() noexcept {
    return lastRealtimeSize.load(std::memory_order_relaxed);
}

void AcknowledgeRealtimeAllocations(std::size_t n) noexcept {
    acknowledged.fetch_add(n, std::memory_order_relaxed);
}
std::size_t AcknowledgedRealtimeAllocations() noexcept {
    return acknowledged.load(std::memory_order_relaxed);
}

void AcknowledgeRealtimeLocks(std::size_t n) noexcept {
    acknowledgedLocks.fetch_add(n, std::memory_order_relaxed);
}
std::size_t AcknowledgedRealtimeLocks() noexcept {
    return acknowledgedLocks.load(std::memory_order_relaxed);
}

} // namespace peldor::test

using peldor::test::Check;

// The C++ functions below allocate through these, so that one allocation is counted once.
#if !defined(PELDOR_SANITIZER_BUILD)
extern "C" {
void* __libc_malloc(std::size_t);
void __libc_free(void*);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
}
namespace {
void* RawMalloc(std::size_t size) {
    return __libc_malloc(size);
}
void* RawAligned(std::size_t align, std::size_t size) {
    return __libc_memalign(align, size);
}
void RawFree(void* p) {
    __libc_free(p);
}
} // namespace
#else
namespace {
void* RawMalloc(std::size_t size) {
    return std::malloc(size);
}
void* RawAligned(std::size_t align, std::size_t size) {
    return std::aligned_alloc(align, size);
}
void RawFree(void* p) {
    std::free(p);
}
} // namespace
#endif

// ---- C++ allocation functions -------------------------------------------------------------------

namespace {
void* AllocateOrThrow(std::size_t size) {
    Check(size);
    void* p = RawMalloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    Check(size);
    std::size_t align = static_cast<std::size_t>(alignment);
    std::size_t rounded = (size + align - 1) / align * align;
    void* p = RawAligned(align, rounded == 0 ? align : rounded);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}
} // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Check(size);
    return RawMalloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    Check(size);
    return RawMalloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void operator delete(void* p) noexcept {
    RawFree(p);
}
void operator delete[](void* p) noexcept {
    RawFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    RawFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    RawFree(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    RawFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    RawFree(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    RawFree(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    RawFree(p);
}

// ---- C allocation functions ---------------------------------------------------------------------
// Plugins and libraries written in C allocate with malloc. Outside the sanitizer builds (whose
// runtimes own malloc) the C functions are wrapped as well, forwarding to glibc's own.

#if !defined(PELDOR_SANITIZER_BUILD)
extern "C" {
void* malloc(std::size_t size) {
    Check(size);
    return __libc_malloc(size);
}
void free(void* p) {
    __libc_free(p);
}
void* calloc(std::size_t count, std::size_t size) {
    Check(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    Check(size);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    Check(size);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Check(size);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    Check(size);
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return 22; // EINVAL
    }
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) {
        return 12; // ENOMEM
    }
    *result = p;
    return 0;
}
void* valloc(std::size_t size) {
    Check(size);
    return __libc_memalign(4096, size);
}
void* pvalloc(std::size_t size) {
    Check(size);
    return __libc_memalign(4096, (size + 4095) / 4096 * 4096);
}
}
#endif
