#pragma once
// Shared pieces of the in-tree test plugins: text helpers, the export macros, and a log of the
// dispatcher opcodes each library received, which tests read through exported functions.

#include "vst2/vst2_abi.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#define PELDOR_TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace peldor::testplugins {

using vst2::VstInt32;
using vst2::VstIntPtr;

inline constexpr VstInt32 FourCharCode(char a, char b, char c, char d) {
    return static_cast<VstInt32>((static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
                                 (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
                                 static_cast<std::uint32_t>(static_cast<unsigned char>(d)));
}

/// Writes text with its terminating zero; a null destination is ignored.
inline void CopyText(void* destination, const char* text) {
    if (destination != nullptr) {
        std::memcpy(destination, text, std::strlen(text) + 1);
    }
}

/// The opcodes the library's dispatchers received, in order (the first kLogCapacity of them).
inline constexpr int kLogCapacity = 4096;
struct OpcodeLog {
    int opcodes[kLogCapacity] = {};
    std::atomic<int> count{0};

    /// Any thread: a host may call the dispatcher from the window thread and the driver's
    /// thread at once (effCanDo in the instrument pass), so each entry claims its own place.
    void Add(int opcode) noexcept {
        const int at = count.fetch_add(1, std::memory_order_acq_rel);
        if (at < kLogCapacity) {
            __atomic_store_n(&opcodes[at], opcode, __ATOMIC_RELEASE);
        } else {
            count.store(kLogCapacity, std::memory_order_release);
        }
    }
};

/// Every plugin instance of the library that is not closed yet, in a fixed table that needs no
/// allocation and is never destroyed: instances a host leaves open stay reachable until the end
/// (no leak report for the shell the scan never closes), and tests can check that every
/// instance was closed.
class InstanceRegistry {
public:
    static constexpr int kCapacity = 256;

    void Add(void* instance) {
        for (auto& slot : slots) {
            void* empty = nullptr;
            if (slot.compare_exchange_strong(empty, instance)) {
                return;
            }
        }
    }
    void Remove(void* instance) {
        for (auto& slot : slots) {
            void* expected = instance;
            if (slot.compare_exchange_strong(expected, nullptr)) {
                return;
            }
        }
    }
    int Count() const {
        int count = 0;
        for (const auto& slot : slots) {
            count += slot.load() != nullptr ? 1 : 0;
        }
        return count;
    }

private:
    std::atomic<void*> slots[kCapacity] = {};
};

} // namespace peldor::testplugins

/// Defines the library's opcode log and instance registry with their exported accessors:
///   int peldor_test_log(const int** opcodes)  - number of entries, *opcodes the entries
///   void peldor_test_log_reset()
///   int peldor_test_live_instances()          - instances created and not closed
#define PELDOR_TEST_DEFINE_OPCODE_LOG()                                                            \
    namespace {                                                                                    \
    peldor::testplugins::OpcodeLog opcodeLog;                                                      \
    /* Never destroyed: instances a host leaves open stay reachable until the very end. */         \
    peldor::testplugins::InstanceRegistry liveInstances;                                           \
    }                                                                                              \
    PELDOR_TEST_EXPORT int peldor_test_live_instances() {                                          \
        return liveInstances.Count();                                                              \
    }                                                                                              \
    PELDOR_TEST_EXPORT int peldor_test_log(const int** opcodes) {                                  \
        *opcodes = opcodeLog.opcodes;                                                              \
        return std::min(opcodeLog.count.load(std::memory_order_acquire),                           \
                        peldor::testplugins::kLogCapacity);                                        \
    }                                                                                              \
    PELDOR_TEST_EXPORT void peldor_test_log_reset() {                                              \
        opcodeLog.count.store(0, std::memory_order_release);                                       \
    }
