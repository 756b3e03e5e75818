#include "engine/held_notes.h"

#include <mutex>

namespace peldor {

THeldNotes HeldNotes;

bool THeldNotes::InRange(int input, int channel, int key) noexcept {
    return input >= 0 && input < kInputs && channel >= 0 && channel < kChannels && key >= 0 &&
           key < kKeys;
}

std::int32_t THeldNotes::Allocate() noexcept {
    if (freeList != 0) {
        const std::int32_t index = freeList;
        freeList = entries[static_cast<std::size_t>(index)].Next;
        return index;
    }
    if (highWater < kNoteCapacity) {
        return ++highWater;
    }
    return 0;
}

void THeldNotes::Free(std::int32_t index) noexcept {
    entries[static_cast<std::size_t>(index)].Next = freeList;
    freeList = index;
    --used;
}

void THeldNotes::Unlink(int keyIndex, std::int32_t previous, std::int32_t index) noexcept {
    const Entry& entry = entries[static_cast<std::size_t>(index)];
    if (previous == 0) {
        heads[static_cast<std::size_t>(keyIndex)] = entry.Next;
    } else {
        entries[static_cast<std::size_t>(previous)].Next = entry.Next;
    }
    --perPort[entry.Dest.Port];
    Free(index);
}

bool THeldNotes::Remember(int input, int channel, int key, TNoteDestination dest) noexcept {
    if (!InRange(input, channel, key) || !PortInRange(dest.Port)) {
        return false;
    }
    const int k = KeyIndex(input, channel, key);
    const std::int32_t index = Allocate();
    if (index == 0) {
        overflowed[static_cast<std::size_t>(k)] = 1;
        return false;
    }
    ++used;
    ++perPort[dest.Port];
    // Appended, so a release sends the note-offs in the order the note-ons went out.
    entries[static_cast<std::size_t>(index)] = Entry{dest, 0, 0};
    std::int32_t* link = &heads[static_cast<std::size_t>(k)];
    while (*link != 0) {
        link = &entries[static_cast<std::size_t>(*link)].Next;
    }
    *link = index;
    return true;
}

bool THeldNotes::ForgetOne(int input, int channel, int key, TNoteDestination dest) noexcept {
    if (!InRange(input, channel, key)) {
        return false;
    }
    const int k = KeyIndex(input, channel, key);
    std::int32_t previous = 0;
    for (std::int32_t index = heads[static_cast<std::size_t>(k)]; index != 0;
         index = entries[static_cast<std::size_t>(index)].Next) {
        if (entries[static_cast<std::size_t>(index)].Dest == dest) {
            Unlink(k, previous, index);
            return true;
        }
        previous = index;
    }
    return false;
}

bool THeldNotes::Held(int input, int channel, int key) const noexcept {
    return InRange(input, channel, key) &&
           heads[static_cast<std::size_t>(KeyIndex(input, channel, key))] != 0;
}

bool THeldNotes::Overflowed(int input, int channel, int key) const noexcept {
    return InRange(input, channel, key) &&
           overflowed[static_cast<std::size_t>(KeyIndex(input, channel, key))] != 0;
}

void THeldNotes::RememberPedal(int input, int channel, TNoteDestination dest) noexcept {
    if (!InRange(input, channel, 0) || !PortInRange(dest.Port)) {
        return;
    }
    dest.Key = 0;
    Pedal& pedal = pedals[static_cast<std::size_t>(input * kChannels + channel)];
    for (std::int32_t i = 0; i < pedal.Count; ++i) {
        if (pedal.Places[static_cast<std::size_t>(i)] == dest) {
            return;
        }
    }
    if (pedal.Count >= kPedalCapacity) {
        return;
    }
    pedal.Places[static_cast<std::size_t>(pedal.Count++)] = dest;
    ++pedalsPerPort[dest.Port];
}

bool THeldNotes::ForgetPedal(int input, int channel, TNoteDestination dest) noexcept {
    if (!InRange(input, channel, 0)) {
        return false;
    }
    dest.Key = 0;
    Pedal& pedal = pedals[static_cast<std::size_t>(input * kChannels + channel)];
    for (std::int32_t i = 0; i < pedal.Count; ++i) {
        if (pedal.Places[static_cast<std::size_t>(i)] == dest) {
            pedal.Places[static_cast<std::size_t>(i)] =
                pedal.Places[static_cast<std::size_t>(pedal.Count - 1)];
            --pedal.Count;
            --pedalsPerPort[dest.Port];
            return true;
        }
    }
    return false;
}

void THeldNotes::Clear() noexcept {
    heads.fill(0);
    overflowed.fill(0);
    freeList = 0;
    highWater = 0;
    used = 0;
    perPort.fill(0);
    for (Pedal& pedal : pedals) {
        pedal.Count = 0;
    }
    pedalsPerPort.fill(0);
}

int THeldNotes::PedalCount() const noexcept {
    int count = 0;
    for (const Pedal& pedal : pedals) {
        count += pedal.Count;
    }
    return count;
}

void ForgetSlotNotes(int slot) {
    if (slot < 0 || slot >= kInstrumentSlotCount) {
        return;
    }
    constexpr int kFirstSlotPort = 16;
    const auto nothing = [](const TNoteDestination&) {};
    std::lock_guard hold(RoutingLock);
    HeldNotes.ForgetPort(kFirstSlotPort + slot, -1, true, nothing, nothing);
}

} // namespace peldor
