// The engine under concurrent use: MIDI routing threads queueing events and a window thread
// changing the mix while the audio thread processes blocks. Run under ThreadSanitizer too.

#include "engine/block_handshake.h"
#include "tests/engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace peldor {
namespace {

using test::FakePlugin;

class EngineConcurrency : public test::EngineFixture {};

// Events carry a 14-bit sequence number in their two data bytes.
constexpr int kEventsPerSlot = 20000;
constexpr int kRoutingThreads = 4;

TEST_F(EngineConcurrency, EveryQueuedEventIsDeliveredOnceAndInOrder) {
    std::vector<std::unique_ptr<FakePlugin>> synths;
    for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
        synths.push_back(std::make_unique<FakePlugin>());
        Assign(slot, *synths.back());
    }

    std::atomic<int> routersDone{0};
    std::vector<std::thread> routers;
    for (int t = 0; t < kRoutingThreads; ++t) {
        routers.emplace_back([t, &routersDone] {
            // Each router owns every kRoutingThreads-th slot and interleaves them, as several
            // connections feeding several instruments would.
            int next[kInstrumentSlotCount] = {};
            bool busy = true;
            while (busy) {
                busy = false;
                for (int slot = t; slot < kInstrumentSlotCount; slot += kRoutingThreads) {
                    if (next[slot] >= kEventsPerSlot) {
                        continue;
                    }
                    busy = true;
                    const int seq = next[slot];
                    bool queued;
                    {
                        std::lock_guard lock(RoutingLock);
                        queued = QueueMidiEvent(slot, 0x90, static_cast<std::uint8_t>(seq & 0x7F),
                                                static_cast<std::uint8_t>((seq >> 7) & 0x7F));
                    }
                    if (queued) {
                        ++next[slot];
                    } else {
                        std::this_thread::yield(); // queue full until the next block
                    }
                }
            }
            ++routersDone;
        });
    }

    // The audio thread: blocks back to back until every router is done and the queues are
    // empty.
    std::thread audio([this, &routersDone] {
        for (;;) {
            Run();
            if (routersDone == kRoutingThreads) {
                bool empty = true;
                for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
                    empty = empty && PendingCount[slot] == 0;
                }
                if (empty) {
                    return;
                }
            }
        }
    });
    for (auto& r : routers) {
        r.join();
    }
    audio.join();

    for (int slot = 0; slot < kInstrumentSlotCount; ++slot) {
        const auto& got = synths[slot]->received;
        ASSERT_EQ(got.size(), static_cast<std::size_t>(kEventsPerSlot)) << "slot " << slot;
        for (int i = 0; i < kEventsPerSlot; ++i) {
            const int seq = got[i][1] | (got[i][2] << 7);
            ASSERT_EQ(seq, i & 0x3FFF) << "slot " << slot << " event " << i;
        }
    }
}

TEST_F(EngineConcurrency, WindowThreadChangesTheMixWhileBlocksRun) {
    FakePlugin a(0.5f, 0.5f), b(0.25f, 0.25f), fx;
    fx.passInputs = true;
    Assign(0, a);
    Assign(1, b);
    Assign(16, fx);
    ChannelAssignment.OutMainL = 0;
    ChannelAssignment.OutMainR = 1;
    ChannelAssignment.Input1 = 2;
    auto other = std::make_unique<TStripStates>();
    InitStripStates(other.get());

    std::atomic<bool> stop{false};
    std::thread audio([this, &stop] {
        while (!stop) {
            Run();
        }
    });

    // The window thread: faders, pans, sends, mutes, solos, part switches, meter reads.
    float meterSum = 0.0f;
    for (int round = 0; round < 3000; ++round) {
        const float x = static_cast<float>(round % 100) / 100.0f;
        Instrument(0).Level = x;
        Instrument(1).Pan = 1.0f - x;
        Instrument(0).AuxSend[0] = x;
        Aux(0).Level = x;
        Effect(0).Level = x;
        Input(0).Level = x;
        Master().Level = 1.0f - x;
        ToggleMute(kKindInstrument, round % 2);
        ToggleSolo(kKindInstrument, round % 3);
        StripTable.MixerSettings.addmode = round % 2;
        StripTable.MixerSettings.oscactive = (round / 10) % 2;
        ChannelAssignment.OutSoloL = (round % 5 == 0) ? 0 : -1;
        a.active = round % 7 != 0;
        processor->MetersWanted();
        meterSum += Master().MeterL + Instrument(0).MeterL;
        if (round % 50 == 0) {
            CurrentStrips = (round / 50) % 2 ? other.get() : strips.get();
        }
        if (round % 97 == 0) {
            CurrentStrips = nullptr; // project closed for a moment
            CurrentStrips = strips.get();
        }
    }
    stop = true;
    audio.join();
    EXPECT_GE(meterSum, 0.0f);
    EXPECT_FALSE(processor->Overload());
}

// Parts come and go while blocks run: each table is freed right after the handshake says the
// audio thread has left it. AddressSanitizer and ThreadSanitizer see any block still reading or
// writing (meters) a freed table.
TEST_F(EngineConcurrency, TablesFreedAfterTheHandshakeAreNeverTouchedAgain) {
    FakePlugin synth(0.5f, 0.5f);
    Assign(0, synth);
    Instrument(0).Level = 1.0f;
    Master().Level = 1.0f;
    ChannelAssignment.OutMainL = 0;
    processor->MetersWanted(std::chrono::hours(1)); // blocks write every table's meters
    std::atomic<bool> stop{false};
    std::thread audio([this, &stop] {
        while (!stop) {
            Run();
        }
    });
    int leaked = 0;
    for (int round = 0; round < 2000; ++round) {
        auto fresh = std::make_unique<TStripStates>();
        InitStripStates(fresh.get());
        (*fresh)[kFirstInstrumentStrip].Level = 1.0f;
        (*fresh)[kMasterStrip].Level = 1.0f;
        TStripStates* old = CurrentStrips.exchange(fresh.release());
        if (WaitForAudioThreadToLeave()) {
            if (old != strips.get()) {
                delete old;
            }
        } else {
            ++leaked;
        }
    }
    stop = true;
    audio.join();
    TStripStates* last = CurrentStrips.exchange(strips.get());
    delete last;
    EXPECT_EQ(leaked, 0);
    EXPECT_EQ(BlocksStarted(), BlocksFinished());
}

} // namespace
} // namespace peldor
