#pragma once
// The per-instrument MIDI event queues between the routing (MIDI input threads and the window
// thread, under RoutingLock) and the instrument pass (driver callback thread).
//
// Each instrument slot owns two preallocated blocks of 2048 MIDI event records. The routing
// appends to one of them and publishes each event by raising the slot's count with a
// compare-exchange. The instrument pass takes the filled block with a single atomic exchange
// that hands the routing the other, empty block, so the audio side never touches a lock, never
// waits, and sees no event twice or torn. A taken block is left untouched until the next
// hand-over for the same slot, as a plugin may read its events until the end of its next
// process call. The routing threads are kept apart from each other by RoutingLock.

#include "engine/checked_mutex.h"
#include "engine/relaxed.h"
#include "engine/strip_table.h"
#include "vst2/vst2_abi.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

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
    /// The same, in place, with both blocks empty. Does not touch the slot's PendingCount.
    void Reset() noexcept;

    TEventBlock Blocks[2];
    vst2::VstMidiEvent Records[2][kEventQueueCapacity] = {};
};

/// The hand-over word of one slot: the block the routing fills and the events published in
/// it. Reads as the number of events queued since the last hand-over, from any thread.
class TPendingEvents {
public:
    static constexpr std::uint32_t kBlockBit = 1u << 16;
    static constexpr std::uint32_t kCountMask = kBlockBit - 1;

    operator std::int32_t() const noexcept {
        return static_cast<std::int32_t>(State.load(std::memory_order_relaxed) & kCountMask);
    }

    /// Block index (bit 16) and count (low bits).
    std::atomic<std::uint32_t> State{0};
};

/// The routing lock: held by every routing and every send through a connection for its whole
/// duration. Never touched on the driver's callback thread.
extern CheckedMutex RoutingLock;

/// One queue per instrument slot.
extern std::array<TInstrumentEventQueue, kInstrumentSlotCount> EventQueue;

/// Events queued per instrument slot since the last hand-over, and the block they are in.
/// Changed by the routing (under RoutingLock) and the instrument pass; readable anywhere.
extern std::array<TPendingEvents, kInstrumentSlotCount> PendingCount;

/// Empties every queue, restores every record and forgets every held note. Call at program start
/// before any MIDI device is opened, and never while audio runs.
void InitEventQueues();

/// The frame offset within the next block that QueueMidiEvent gives the events queued on the
/// calling thread while it is set (0 otherwise: live input takes effect at the block's first
/// frame). An offline render sets it around each event it plays. Negative values count as 0.
class ScopedEventDelta {
public:
    explicit ScopedEventDelta(std::int32_t frames) noexcept;
    ~ScopedEventDelta();
    ScopedEventDelta(const ScopedEventDelta&) = delete;
    ScopedEventDelta& operator=(const ScopedEventDelta&) = delete;

private:
    std::int32_t saved;
};

/// Appends a short message to an instrument slot's queue with the calling thread's event delta
/// (see ScopedEventDelta; 0 frames for live input). The caller
/// holds RoutingLock. Returns false (and drops the message) when the slot is out of range or
/// kMaxQueuedEvents are already queued.
bool QueueMidiEvent(int slot, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

/// Driver callback thread. Takes the slot's queued events, or returns null when there are
/// none. Lock-free; never waits.
vst2::VstEvents* TakeQueuedEvents(int slot) noexcept;

/// Drops whatever is queued for the slot: its plugin is being loaded, replaced or removed, and
/// events played for the old one (or for none) must not reach the new one. Takes RoutingLock;
/// window thread. Events already taken by a block in progress are not recalled.
void ClearQueuedEvents(int slot);

} // namespace peldor
