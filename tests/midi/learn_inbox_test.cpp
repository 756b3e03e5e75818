// The hand-over of learned MIDI messages from the input threads to the window thread.

#include "midi/learn_inbox.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace peldor::test {
namespace {

/// Producer p's message number n: the producer in the status byte, n in the data bytes.
TShortMessage Numbered(int producer, int n) {
    return {static_cast<std::uint8_t>(0x90 + producer), static_cast<std::uint8_t>(n & 0x7F),
            static_cast<std::uint8_t>((n >> 7) & 0x7F)};
}

TEST(LearnInbox, MessagesFromSeveralInputsArriveOnceAndInOrderWhileTaken) {
    constexpr int kProducers = 4;
    constexpr int kEach = 1000; // together below the capacity: nothing may collapse
    static_assert(kProducers * kEach < static_cast<int>(TMidiLearnInbox::kCapacity));
    TMidiLearnInbox inbox;
    std::atomic<int> running{kProducers};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int n = 0; n < kEach; ++n) {
                inbox.MidiLearned(Numbered(p, n));
            }
            running.fetch_sub(1);
        });
    }
    std::array<int, kProducers> next{};
    int taken = 0;
    TShortMessage message;
    for (;;) {
        const bool done = running.load() == 0;
        while (inbox.Take(message)) {
            const int p = message.Status - 0x90;
            ASSERT_GE(p, 0);
            ASSERT_LT(p, kProducers);
            const int n = message.Data1 | (message.Data2 << 7);
            ASSERT_EQ(n, next[static_cast<std::size_t>(p)]) << "producer " << p;
            ++next[static_cast<std::size_t>(p)];
            ++taken;
        }
        if (done) {
            break;
        }
        std::this_thread::yield();
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    EXPECT_EQ(taken, kProducers * kEach);
}

TEST(LearnInbox, AFullInboxEndsWithTheNewestMessage) {
    TMidiLearnInbox inbox;
    constexpr int kPlayed = static_cast<int>(TMidiLearnInbox::kCapacity) * 2 + 5;
    for (int n = 0; n < kPlayed; ++n) {
        inbox.MidiLearned(Numbered(0, n));
    }
    std::vector<int> taken;
    TShortMessage message;
    while (inbox.Take(message)) {
        taken.push_back(message.Data1 | (message.Data2 << 7));
    }
    // The queue's messages in order, then the newest of those that found it full.
    ASSERT_EQ(taken.size(), TMidiLearnInbox::kCapacity + 1);
    for (std::size_t i = 0; i < TMidiLearnInbox::kCapacity; ++i) {
        ASSERT_EQ(taken[i], static_cast<int>(i));
    }
    EXPECT_EQ(taken.back(), kPlayed - 1);
    // Emptied, it queues again.
    inbox.MidiLearned(Numbered(1, 7));
    ASSERT_TRUE(inbox.Take(message));
    EXPECT_EQ(message, Numbered(1, 7));
    EXPECT_FALSE(inbox.Take(message));
}

} // namespace
} // namespace peldor::test
