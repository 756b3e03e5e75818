#pragma once
// The hand-over of learned MIDI messages from the input threads to the window thread: a
// fixed-capacity queue that never blocks a producer and never allocates after construction.
//
// Several inputs may deliver at once, so any number of producers push; one consumer (the
// window thread) takes the messages in the order the pushes completed. Should the consumer fall
// more than kCapacity messages behind, later messages collapse into one "newest" word until the
// consumer catches up: a learned message only overwrites the fields of its row, so what the
// window ends with is still the last message played, and the window still sees that something
// arrived.

#include "midi/midi_devices.h"
#include "midi/short_message.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace peldor {

class TMidiLearnInbox final : public IMidiLearnHandler {
public:
    static constexpr std::size_t kCapacity = 4096;

    TMidiLearnInbox() noexcept;

    /// Any thread; lock-free, no allocation, no system call.
    void MidiLearned(TShortMessage message) noexcept override;
    /// Window thread (the one consumer): the oldest message not yet taken, if any.
    bool Take(TShortMessage& message) noexcept;

private:
    struct Cell {
        std::atomic<std::size_t> Sequence{0};
        std::uint32_t Word = 0;
    };
    bool TryPush(std::uint32_t word) noexcept;

    static constexpr std::uint64_t kFreshBit = 1ULL << 32;
    std::array<Cell, kCapacity> cells;
    std::atomic<std::size_t> head{0}; // next to push
    std::size_t tail = 0;             // next to take; consumer only
    /// The newest message once the queue was full; kFreshBit marks it taken or not.
    std::atomic<std::uint64_t> overflow{0};
};

} // namespace peldor
