#include "midi/learn_inbox.h"

namespace peldor {

TMidiLearnInbox::TMidiLearnInbox() noexcept {
    for (std::size_t i = 0; i < kCapacity; ++i) {
        cells[i].Sequence.store(i, std::memory_order_relaxed);
    }
}

bool TMidiLearnInbox::TryPush(std::uint32_t word) noexcept {
    // A bounded queue in the manner of Vyukov's: a cell is free for position p when its
    // sequence equals p, and holds the message of p once its sequence is p + 1.
    std::size_t position = head.load(std::memory_order_relaxed);
    for (;;) {
        Cell& cell = cells[position % kCapacity];
        const std::size_t sequence = cell.Sequence.load(std::memory_order_acquire);
        if (sequence == position) {
            if (head.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
                cell.Word = word;
                cell.Sequence.store(position + 1, std::memory_order_release);
                return true;
            }
        } else if (sequence < position) {
            return false; // full: the consumer has not taken that cell's message yet
        } else {
            position = head.load(std::memory_order_relaxed);
        }
    }
}

void TMidiLearnInbox::MidiLearned(TShortMessage message) noexcept {
    const std::uint64_t word = kFreshBit | PackShortMessage(message);
    // Once something waits in the overflow word, newer messages go there too, so that the
    // consumer, which empties the queue before it looks there, ends with the newest one.
    std::uint64_t pending = overflow.load(std::memory_order_acquire);
    for (;;) {
        if ((pending & kFreshBit) != 0) {
            if (overflow.compare_exchange_weak(pending, word, std::memory_order_acq_rel)) {
                return;
            }
            continue;
        }
        if (TryPush(PackShortMessage(message))) {
            return;
        }
        if (overflow.compare_exchange_weak(pending, word, std::memory_order_acq_rel)) {
            return;
        }
    }
}

bool TMidiLearnInbox::Take(TShortMessage& message) noexcept {
    Cell& cell = cells[tail % kCapacity];
    if (cell.Sequence.load(std::memory_order_acquire) == tail + 1) {
        message = UnpackShortMessage(cell.Word);
        cell.Sequence.store(tail + kCapacity, std::memory_order_release);
        ++tail;
        return true;
    }
    if (head.load(std::memory_order_acquire) != tail) {
        return false; // a push has claimed the cell but not filled it yet: next time
    }
    const std::uint64_t pending = overflow.exchange(0, std::memory_order_acq_rel);
    if ((pending & kFreshBit) == 0) {
        return false;
    }
    message = UnpackShortMessage(static_cast<std::uint32_t>(pending));
    return true;
}

} // namespace peldor
