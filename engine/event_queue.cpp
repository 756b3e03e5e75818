#include "engine/event_queue.h"

#include "engine/held_notes.h"

#include <mutex>

namespace peldor {

CheckedMutex RoutingLock;
std::array<TInstrumentEventQueue, kInstrumentSlotCount> EventQueue;
std::array<TPendingEvents, kInstrumentSlotCount> PendingCount;

namespace {

thread_local std::int32_t EventDelta = 0;

constexpr std::uint32_t BlockOf(std::uint32_t state) {
    return (state & TPendingEvents::kBlockBit) != 0 ? 1u : 0u;
}

constexpr std::uint32_t CountOf(std::uint32_t state) {
    return state & TPendingEvents::kCountMask;
}

} // namespace

void TInstrumentEventQueue::Reset() noexcept {
    for (int b = 0; b < 2; ++b) {
        Blocks[b].numEvents = 0;
        Blocks[b].reserved = 0;
        for (int i = 0; i < kEventQueueCapacity; ++i) {
            vst2::VstMidiEvent& record = Records[b][i];
            record = vst2::VstMidiEvent{};
            record.type = vst2::kVstMidiType;
            record.byteSize = sizeof(vst2::VstMidiEvent) - 2 * sizeof(vst2::VstInt32);
            Blocks[b].events[i] = reinterpret_cast<vst2::VstEvent*>(&record);
        }
    }
}

void InitEventQueues() {
    std::lock_guard hold(RoutingLock);
    for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
        EventQueue[slot].Reset();
        PendingCount[slot].State.store(0, std::memory_order_release);
    }
    HeldNotes.Clear();
}

ScopedEventDelta::ScopedEventDelta(std::int32_t frames) noexcept : saved(EventDelta) {
    EventDelta = frames > 0 ? frames : 0;
}

ScopedEventDelta::~ScopedEventDelta() {
    EventDelta = saved;
}

bool QueueMidiEvent(int slot, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (slot < 0 || slot >= kInstrumentSlotCount) {
        return false;
    }
    std::atomic<std::uint32_t>& state = PendingCount[slot].State;
    TInstrumentEventQueue& queue = EventQueue[slot];
    // Acquire: a block handed back by the instrument pass is no longer read by its plugin.
    std::uint32_t seen = state.load(std::memory_order_acquire);
    for (;;) {
        const std::uint32_t count = CountOf(seen);
        if (count >= static_cast<std::uint32_t>(kMaxQueuedEvents)) {
            return false;
        }
        // The record beyond the published count is ours alone: the pass reads only published
        // records, and RoutingLock keeps the other routers out.
        vst2::VstMidiEvent& record = queue.Records[BlockOf(seen)][count];
        record.deltaFrames = EventDelta;
        record.midiData[0] = static_cast<char>(status);
        record.midiData[1] = static_cast<char>(data1);
        record.midiData[2] = static_cast<char>(data2);
        record.midiData[3] = 0;
        if (state.compare_exchange_strong(seen, seen + 1, std::memory_order_release,
                                          std::memory_order_acquire)) {
            return true;
        }
        // The pass took the block in the meantime; write again into the empty one it left.
    }
}

vst2::VstEvents* TakeQueuedEvents(int slot) noexcept {
    if (slot < 0 || slot >= kInstrumentSlotCount) {
        return nullptr;
    }
    std::atomic<std::uint32_t>& state = PendingCount[slot].State;
    const std::uint32_t seen = state.load(std::memory_order_relaxed);
    if (CountOf(seen) == 0) {
        return nullptr;
    }
    // Only this thread changes the block index, so the other block is known; the routing may
    // only have raised the count since. Acquire for the records, release so that the routing
    // writing into the block given back sees this block's plugin reads as done.
    const std::uint32_t other = BlockOf(seen) != 0 ? 0u : TPendingEvents::kBlockBit;
    const std::uint32_t taken = state.exchange(other, std::memory_order_acq_rel);
    TEventBlock& block = EventQueue[slot].Blocks[BlockOf(taken)];
    block.numEvents = static_cast<vst2::VstInt32>(CountOf(taken));
    return block.AsVstEvents();
}

void ClearQueuedEvents(int slot) {
    if (slot < 0 || slot >= kInstrumentSlotCount) {
        return;
    }
    std::lock_guard hold(RoutingLock);
    std::atomic<std::uint32_t>& state = PendingCount[slot].State;
    std::uint32_t seen = state.load(std::memory_order_relaxed);
    while (CountOf(seen) != 0 &&
           !state.compare_exchange_weak(seen, seen & TPendingEvents::kBlockBit,
                                        std::memory_order_relaxed)) {
    }
}

} // namespace peldor
