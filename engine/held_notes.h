#pragma once
// The notes and sustain pedals that are down, remembered by where they went. For every input
// device, channel and key, the routing records each destination a note-on reached (a MIDI
// output or instrument port, the channel it left on and the key after transposition), so the
// note-off can go to exactly those places whatever the current part routes by then. The same
// for the sustain pedal (controller 64) per input device and channel.
//
// Fixed tables allocated with the program: recording, releasing and forgetting never allocate.
// Everything here is guarded by RoutingLock (engine/event_queue.h); the caller holds it unless
// a function says it takes it itself.

#include "engine/event_queue.h"

#include <array>
#include <cstdint>

namespace peldor {

/// Where one note or pedal went: a connection's OutPort (0-15 MIDI outputs, 16-31 instrument
/// slots), the channel it was sent on and, for notes, the key it was sent as.
struct TNoteDestination {
    std::uint8_t Port = 0;
    std::uint8_t Channel = 0;
    std::uint8_t Key = 0;

    friend bool operator==(const TNoteDestination&, const TNoteDestination&) = default;
};

class THeldNotes {
public:
    static constexpr int kInputs = 16;
    static constexpr int kChannels = 16;
    static constexpr int kKeys = 128;
    static constexpr int kPorts = 32;
    /// Destinations remembered for all held keys together: every key of every channel of one
    /// input reaching eight places, or all 16 inputs fully held to two places.
    static constexpr int kNoteCapacity = 16 * 1024;
    /// Distinct places one input channel's pedal can be held down at.
    static constexpr int kPedalCapacity = 64;

    THeldNotes() noexcept = default;
    THeldNotes(const THeldNotes&) = delete;
    THeldNotes& operator=(const THeldNotes&) = delete;

    /// Notes that a note-on of (input, channel, key) reached dest. Returns false when the
    /// table is full: the key is then marked overflowed, and its note-off should fall back on
    /// the current routing. Out-of-range arguments are ignored (false).
    bool Remember(int input, int channel, int key, TNoteDestination dest) noexcept;
    /// Forgets one destination of the key; true when it was remembered.
    bool ForgetOne(int input, int channel, int key, TNoteDestination dest) noexcept;
    /// True while the key has remembered destinations.
    bool Held(int input, int channel, int key) const noexcept;
    /// True when a destination of the key could not be remembered since its last release.
    bool Overflowed(int input, int channel, int key) const noexcept;
    /// Calls release(dest) for every remembered destination of the key, oldest first, and
    /// forgets them all (and the overflow mark).
    template <typename ReleaseFn>
    void Release(int input, int channel, int key, ReleaseFn&& release);

    /// Notes that a pedal-down of (input, channel) reached dest (Key unused). Ignored when
    /// already remembered or when kPedalCapacity places are held.
    void RememberPedal(int input, int channel, TNoteDestination dest) noexcept;
    /// Forgets one place of the pedal; true when it was remembered.
    bool ForgetPedal(int input, int channel, TNoteDestination dest) noexcept;
    /// Calls release(dest) for every place the pedal is down at and forgets them.
    template <typename ReleaseFn> void ReleasePedal(int input, int channel, ReleaseFn&& release);

    /// Forgets every note remembered at port (and channel, or every channel when channel is
    /// -1), calling silence(dest) for each first. With pedals also the pedals held there,
    /// calling pedalUp(dest) for each. Scans the whole table when the port holds anything.
    template <typename Silence, typename PedalUp>
    void ForgetPort(int port, int channel, bool pedals, Silence&& silence, PedalUp&& pedalUp);

    /// Forgets everything.
    void Clear() noexcept;
    /// Remembered note destinations, all keys together.
    int NoteCount() const noexcept { return used; }
    /// Remembered pedal places, all inputs together.
    int PedalCount() const noexcept;

private:
    // Index 0 means "none", so the zero-initialised table is empty.
    struct Entry {
        TNoteDestination Dest;
        std::uint8_t Overflow = 0;
        std::int32_t Next = 0;
    };
    struct Pedal {
        std::int32_t Count = 0;
        std::array<TNoteDestination, kPedalCapacity> Places{};
    };

    static bool InRange(int input, int channel, int key) noexcept;
    static int KeyIndex(int input, int channel, int key) noexcept {
        return (input * kChannels + channel) * kKeys + key;
    }
    static bool PortInRange(int port) noexcept { return port >= 0 && port < kPorts; }
    std::int32_t Allocate() noexcept;
    void Free(std::int32_t index) noexcept;
    void Unlink(int keyIndex, std::int32_t previous, std::int32_t index) noexcept;

    /// First entry of each key's list.
    std::array<std::int32_t, kInputs * kChannels * kKeys> heads{};
    std::array<std::uint8_t, kInputs * kChannels * kKeys> overflowed{};
    /// Entry 0 is never used.
    std::array<Entry, kNoteCapacity + 1> entries{};
    std::int32_t freeList = 0;
    std::int32_t highWater = 0;
    std::int32_t used = 0;
    /// Remembered notes per port, so forgetting a port that holds nothing costs nothing.
    std::array<std::int32_t, kPorts> perPort{};
    std::array<Pedal, kInputs * kChannels> pedals{};
    std::array<std::int32_t, kPorts> pedalsPerPort{};
};

/// The program's table. Guarded by RoutingLock.
extern THeldNotes HeldNotes;

/// An instrument slot (0-15) whose plugin is removed or replaced: its notes and pedals are
/// forgotten, as the plugin that heard them is gone. Takes RoutingLock. Window thread.
void ForgetSlotNotes(int slot);

// ---- Templates ----------------------------------------------------------------------------------

template <typename ReleaseFn>
void THeldNotes::Release(int input, int channel, int key, ReleaseFn&& release) {
    if (!InRange(input, channel, key)) {
        return;
    }
    const int k = KeyIndex(input, channel, key);
    overflowed[static_cast<std::size_t>(k)] = 0;
    std::int32_t index = heads[static_cast<std::size_t>(k)];
    heads[static_cast<std::size_t>(k)] = 0;
    while (index != 0) {
        const Entry entry = entries[static_cast<std::size_t>(index)];
        Free(index);
        --perPort[entry.Dest.Port];
        release(entry.Dest);
        index = entry.Next;
    }
}

template <typename ReleaseFn>
void THeldNotes::ReleasePedal(int input, int channel, ReleaseFn&& release) {
    if (!InRange(input, channel, 0)) {
        return;
    }
    Pedal& pedal = pedals[static_cast<std::size_t>(input * kChannels + channel)];
    const std::int32_t count = pedal.Count;
    pedal.Count = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        --pedalsPerPort[pedal.Places[static_cast<std::size_t>(i)].Port];
        release(pedal.Places[static_cast<std::size_t>(i)]);
    }
}

template <typename Silence, typename PedalUp>
void THeldNotes::ForgetPort(int port, int channel, bool withPedals, Silence&& silence,
                            PedalUp&& pedalUp) {
    if (!PortInRange(port)) {
        return;
    }
    const auto matches = [&](const TNoteDestination& dest) {
        return dest.Port == port && (channel < 0 || dest.Channel == channel);
    };
    if (perPort[static_cast<std::size_t>(port)] > 0) {
        for (int k = 0; k < kInputs * kChannels * kKeys; ++k) {
            std::int32_t previous = 0;
            std::int32_t index = heads[static_cast<std::size_t>(k)];
            while (index != 0) {
                const Entry entry = entries[static_cast<std::size_t>(index)];
                if (matches(entry.Dest)) {
                    Unlink(k, previous, index);
                    silence(entry.Dest);
                } else {
                    previous = index;
                }
                index = entry.Next;
            }
        }
    }
    if (!withPedals || pedalsPerPort[static_cast<std::size_t>(port)] == 0) {
        return;
    }
    for (Pedal& pedal : pedals) {
        for (std::int32_t i = 0; i < pedal.Count;) {
            const TNoteDestination dest = pedal.Places[static_cast<std::size_t>(i)];
            if (!matches(dest)) {
                ++i;
                continue;
            }
            pedal.Places[static_cast<std::size_t>(i)] =
                pedal.Places[static_cast<std::size_t>(pedal.Count - 1)];
            --pedal.Count;
            --pedalsPerPort[static_cast<std::size_t>(port)];
            pedalUp(dest);
        }
    }
}

} // namespace peldor
