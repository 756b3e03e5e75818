// MIDI input threads against the window thread and the engine: posting to the window thread,
// routing while parts switch and connections come and go, and MIDI learn being switched off
// while messages arrive.

#include "engine/realtime_scope.h"
#include "midi/activating_views.h"
#include "midi/switching.h"
#include "tests/midi/midi_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace peldor {
namespace {

using test::Msg;

TEST(WindowMessageQueueConcurrency, ManyPostersLoseNothingAndKeepTheirOrder) {
    constexpr int kPosters = 4;
    constexpr std::uint32_t kEach = 20000;
    TWindowMessageQueue queue;
    std::atomic<int> running{kPosters};
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&queue, &running, p] {
            for (std::uint32_t i = 0; i < kEach; ++i) {
                queue.Post({TWindowTarget::MainWindow,
                            WM_REMOTECOMMAND,
                            i,
                            static_cast<std::intptr_t>(p),
                            {}});
            }
            running.fetch_sub(1);
        });
    }
    std::vector<std::uint32_t> next(kPosters, 0);
    std::uint32_t received = 0;
    bool ordered = true;
    for (;;) {
        const bool last = running.load() == 0;
        for (const TWindowMessage& message : queue.Drain()) {
            ordered = ordered && message.WParam == next[message.LParam];
            next[message.LParam] = message.WParam + 1;
            ++received;
        }
        if (last) {
            break;
        }
        std::this_thread::yield();
    }
    for (auto& poster : posters) {
        poster.join();
    }
    EXPECT_TRUE(ordered);
    EXPECT_EQ(received, kPosters * kEach);
}

// Two parts, each with one connection from input 0 into instrument slot 0. A MIDI thread plays
// numbered notes while the window thread steps between the parts (sending their activation
// program changes into the same queue) and adds and deletes connections, and an engine thread
// takes the queue at its block starts. Every note arrives exactly once and in order.
TEST(RoutingConcurrency, NotesArriveOnceWhilePartsSwitchAndTheEngineTakesBlocks) {
    test::MidiTestState state;
    state.OpenAll();
    TActivatingProjectViews views;
    ProjectLinks.Views = &views;
    TProject& project = CreateProject();
    TSong* song = project.AddSong();
    for (int p = 0; p < 2; ++p) {
        TConnection* connection = song->AddPart()->AddConnection();
        connection->SetOutPort(kFirstInstrumentPort);
        connection->InChannel = kOmniChannel;
        connection->VolumeEnabled = 0;
        connection->PanEnabled = 0;
    }
    CurrentSong = CurrentPart = 0;
    SyncRoutingPart();

    constexpr std::uint32_t kNotes = 16000; // numbered by two data bytes
    constexpr std::int32_t kPaceLimit = 1500;
    std::atomic<bool> playing{true};
    std::atomic<bool> engineRunning{true};
    std::vector<std::uint32_t> notes;
    notes.reserve(kNotes);
    int programChanges = 0;

    std::thread engine([&] {
        auto takeBlock = [&] {
            RealtimeScope realtime;
            vst2::VstEvents* events = TakeQueuedEvents(0);
            if (events == nullptr) {
                return;
            }
            for (int i = 0; i < events->numEvents; ++i) {
                const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(events->events[i]);
                const auto status = static_cast<std::uint8_t>(midi->midiData[0]);
                if (status == 0xC0) {
                    ++programChanges;
                } else if (status == 0x90) {
                    // The routing ends a key still held before it sounds again; those
                    // note-offs are not numbered.
                    notes.push_back(static_cast<std::uint8_t>(midi->midiData[1]) |
                                    (static_cast<std::uint8_t>(midi->midiData[2]) - 1u) << 7);
                }
            }
        };
        while (engineRunning.load()) {
            takeBlock();
            std::this_thread::yield();
        }
        takeBlock();
        takeBlock(); // a block deferred by a busy lock comes now
    });
    std::thread midi([&] {
        for (std::uint32_t i = 0; i < kNotes; ++i) {
            while (PendingCount[0] > kPaceLimit) {
                std::this_thread::yield();
            }
            // Velocity 1 and up: a velocity of 0 would be a note-off.
            state.backend->Play(0, Msg(0x90, i & 0x7F, ((i >> 7) & 0x7F) + 1));
        }
        playing.store(false);
    });

    int steps = 0;
    while (playing.load()) {
        while (PendingCount[0] > kPaceLimit) {
            std::this_thread::yield();
        }
        NextPart();
        ++steps;
        TPart* other = song->PartAt(1 - CurrentPart);
        if (other->AddConnection() != nullptr) {
            other->DeleteConnection(other->ConnectionCount() - 1);
        }
        state.Posted();
    }
    midi.join();
    engineRunning.store(false);
    engine.join();

    ASSERT_EQ(notes.size(), kNotes);
    for (std::uint32_t i = 0; i < kNotes; ++i) {
        ASSERT_EQ(notes[i], i) << "note " << i;
    }
    // Every step activates the part it enters; every second step wraps into the same song
    // again, whose refilled lists first activate the part it was left at.
    EXPECT_EQ(programChanges, steps + steps / 2);
}

TEST(LearnConcurrency, SwitchingLearnOffWaitsForTheHandler) {
    test::MidiTestState state;
    state.OpenAll();
    CreateProject();
    std::atomic<bool> playing{true};
    std::thread midi([&] {
        while (playing.load()) {
            state.backend->Play(1, Msg(0xB0, 1, 2));
        }
    });
    int learned = 0;
    for (int round = 0; round < 200; ++round) {
        auto handler = std::make_unique<TMidiLearnCapture>();
        SetMidiLearnHandler(handler.get());
        std::this_thread::yield();
        SetMidiLearnHandler(nullptr);
        TShortMessage message;
        learned += handler->Take(message) ? 1 : 0;
    }
    playing.store(false);
    midi.join();
    EXPECT_FALSE(MidiLearnActive());
    EXPECT_GE(learned, 0);
}

} // namespace
} // namespace peldor
