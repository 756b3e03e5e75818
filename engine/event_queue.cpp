#include "engine/event_queue.h"

#include "engine/held_notes.h"

namespace peldor {

std::mutex RoutingLock;
std::array<TInstrumentEventQueue, kInstrumentSlotCount> EventQueue;
std::array<Relaxed<std::int32_t>, kInstrumentSlotCount> PendingCount;

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
    FillBlock = 0;
}

void InitEventQueues() {
    std::lock_guard<std::mutex> lock(RoutingLock);
    for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
        EventQueue[slot].Reset();
        PendingCount[slot] = 0;
    }
    HeldNotes.Clear();
}

bool QueueMidiEvent(int slot, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    if (slot < 0 || slot >= kInstrumentSlotCount) {
        return false;
    }
    const std::int32_t count = PendingCount[slot];
    if (count >= kMaxQueuedEvents) {
        return false;
    }
    TInstrumentEventQueue& queue = EventQueue[slot];
    vst2::VstMidiEvent& record = queue.Records[queue.FillBlock][count];
    record.deltaFrames = 0;
    record.midiData[0] = static_cast<char>(status);
    record.midiData[1] = static_cast<char>(data1);
    record.midiData[2] = static_cast<char>(data2);
    record.midiData[3] = 0;
    PendingCount[slot] = count + 1;
    return true;
}

vst2::VstEvents* TakeQueuedEvents(int slot) noexcept {
    if (slot < 0 || slot >= kInstrumentSlotCount || PendingCount[slot] <= 0) {
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(RoutingLock, std::try_to_lock);
    if (!lock.owns_lock()) {
        return nullptr;
    }
    TInstrumentEventQueue& queue = EventQueue[slot];
    const std::int32_t count = PendingCount[slot];
    if (count <= 0) {
        return nullptr;
    }
    TEventBlock& taken = queue.Blocks[queue.FillBlock];
    taken.numEvents = count;
    queue.FillBlock ^= 1;
    PendingCount[slot] = 0;
    return taken.AsVstEvents();
}

} // namespace peldor
