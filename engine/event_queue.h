#pragma once
// The per-instrument MIDI event queues between the routing (MIDI input threads and the window
// thread, under RoutingLock) and the instrument pass (driver callback thread).
//
// Each instrument slot owns two preallocated blocks of 2048 MIDI event records. The routing
// fills one; the instrument pass takes it with a try_lock of RoutingLock, swapping in the other
// block, and hands the taken block to the plugin outside the lock. When the lock is busy the
// hand-over waits for the next block, so no event is lost or torn and the audio thread never
// waits. A taken block is left untouched until the next hand-over for the same slot, as a
// plugin may read its events until the end of its next process call.

#include "engine/relaxed.h"
#include "engine/strip_table.h"
#include "vst2/vst2_abi.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace peldor {

inline constexpr int kEventQueueCapacity = 2048;
/// The routing stops appending at this many events per instrument per block.
inline constexpr int kMaxQueuedEvents = 2047;

/// Binary twin of VstEvents with room for kEventQueueCapacity pointers.
struct TEventBlock {
    vst2::VstInt32 numEvents = 0;
    vst2::VstIntPtr reserved = 0;
    vst2::VstEvent* events[kEventQueueCapacity] = {};

    vst2::VstEvents* AsVstEvents() noexcept { return reinterpret_cast<vst2::VstEvents*>(this); }
};
static_assert(offsetof(TEventBlock, events) == offsetof(vst2::VstEvents, events));

struct TInstrumentEventQueue {
    /// Points every block at its records and marks each record a 24-byte MIDI event.
    TInstrumentEventQueue() noexcept { Reset(); }
    TInstrumentEventQueue(const TInstrumentEventQueue&) = delete;
    TInstrumentEventQueue& operator=(const TInstrumentEventQueue&) = delete;
    /// The same, in place, with both blocks empty.
    void Reset() noexcept;

    TEventBlock Blocks[2];
    vst2::VstMidiEvent Records[2][kEventQueueCapacity] = {};
    /// Block the routing appends to. Guarded by RoutingLock.
    int FillBlock = 0;
};

/// The routing lock: held by every routing and every send through a connection for its whole
/// duration. The driver's callback thread only ever try_locks it.
extern std::mutex RoutingLock;

/// One queue per instrument slot.
extern std::array<TInstrumentEventQueue, kInstrumentSlotCount> EventQueue;

/// Events queued per instrument slot since the last hand-over. Written under RoutingLock;
/// readable without it.
extern std::array<Relaxed<std::int32_t>, kInstrumentSlotCount> PendingCount;

/// Empties every queue, restores every record and forgets every held note. Call at program start
/// before any MIDI device is opened, and never while audio runs.
void InitEventQueues();

/// Appends a short message to an instrument slot's queue with a delta of 0 frames. The caller
/// holds RoutingLock. Returns false (and drops the message) when the slot is out of range or
/// kMaxQueuedEvents are already queued.
bool QueueMidiEvent(int slot, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

/// Driver callback thread. Takes the slot's queued events, or returns null when there are none
/// or RoutingLock is busy (they are then taken at the next block). Never waits.
vst2::VstEvents* TakeQueuedEvents(int slot) noexcept;

} // namespace peldor
