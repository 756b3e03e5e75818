// Held notes and pedals across part and song changes: every note-off and pedal release reaches
// the places its press reached, whatever the routing has become meanwhile, and the table of
// held notes follows what all notes off, closed outputs and removed plugins silence.

#include "engine/checked_mutex.h"
#include "engine/held_notes.h"
#include "engine/realtime_scope.h"
#include "midi/switching.h"
#include "tests/midi/midi_test_support.h"
#include "tests/support/alloc_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace peldor {
namespace {

using test::Msg;
using test::TakeEvents;

constexpr std::int32_t kSlot0 = kFirstInstrumentPort;
constexpr std::int32_t kSlot1 = kFirstInstrumentPort + 1;

// Notes, the sustain pedal and all notes off: what these tests look at among the activation
// messages every part change sends.
bool Interesting(std::uint32_t word) {
    const TShortMessage message = UnpackShortMessage(word);
    const std::uint8_t command = message.Status & kCommandMask;
    return command == kNoteOn || command == kNoteOff ||
           (command == kControlChange &&
            (message.Data1 == kCcSustain || message.Data1 == kCcAllNotesOff));
}

std::vector<std::uint32_t> OnlyInteresting(std::vector<std::uint32_t> words) {
    words.erase(std::remove_if(words.begin(), words.end(),
                               [](std::uint32_t word) { return !Interesting(word); }),
                words.end());
    return words;
}

class HeldNotesRouting : public ::testing::Test {
protected:
    HeldNotesRouting() { state.OpenAll(); }

    // A project of songs with the given part counts and no connections, standing at song 0,
    // part 0.
    TProject& Build(std::initializer_list<int> partCounts) {
        TProject& project = CreateProject();
        for (int parts : partCounts) {
            TSong* song = project.AddSong();
            for (int p = 0; p < parts; ++p) {
                song->AddPart();
            }
        }
        CurrentSong = 0;
        CurrentPart = 0;
        CurrentConnection = -1;
        SyncRoutingPart();
        return project;
    }

    TPart& Part(std::int32_t song, std::int32_t part) {
        return *ActiveProject()->SongAt(song)->PartAt(part);
    }

    // A connection from input 0, any channel, to outPort; activation sends nothing.
    static TConnection& Connect(TPart& part, std::int32_t outPort, int transpose = 0,
                                std::int32_t outChannel = kMultiChannel) {
        TConnection& connection = *part.AddConnection();
        connection.SetInPort(0);
        connection.InChannel = kOmniChannel;
        connection.SetOutPort(outPort);
        connection.OutChannel = outChannel;
        connection.Transpose = static_cast<std::int8_t>(transpose);
        connection.ProgramEnabled = 0;
        connection.VolumeEnabled = 0;
        connection.PanEnabled = 0;
        return connection;
    }

    void Play(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        state.backend->Play(0, Msg(status, data1, data2));
    }

    std::vector<std::uint32_t> Slot(std::int32_t port) {
        return OnlyInteresting(TakeEvents(port - kFirstInstrumentPort));
    }
    std::vector<std::uint32_t> Output(std::int32_t index) {
        return OnlyInteresting(state.backend->TakeSent(index));
    }

    static int HeldCount() {
        std::lock_guard hold(RoutingLock);
        return HeldNotes.NoteCount();
    }
    static int PedalCount() {
        std::lock_guard hold(RoutingLock);
        return HeldNotes.PedalCount();
    }

    test::MidiTestState state;
};

TEST_F(HeldNotesRouting, NoteOffsFollowTheirNoteOnsAcrossPartAndSongChanges) {
    Build({2, 1});
    Connect(Part(0, 0), kSlot0);
    Connect(Part(0, 1), kSlot0, +12);
    Connect(Part(1, 0), kSlot1, -12);

    Play(0x90, 60, 100);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x90, 60, 100)});
    NextPart();
    // Released after the part change: the note that sounds ends, not the one part 2 would
    // have played.
    Play(0x80, 60, 30);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x80, 60, 30)});

    Play(0x91, 62, 90);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x91, 74, 90)});
    NextSong();
    ASSERT_EQ(CurrentSong, 1);
    // A note-on with velocity 0 keeps its form.
    Play(0x91, 62, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x91, 74, 0)});
    EXPECT_TRUE(Slot(kSlot1).empty());
    EXPECT_EQ(HeldCount(), 0);

    // A note-off for a key that was never routed anywhere goes nowhere, even where the
    // current part would route it.
    Play(0x80, 50, 0);
    EXPECT_TRUE(Slot(kSlot0).empty());
    EXPECT_TRUE(Slot(kSlot1).empty());
    // Without a change everything is as before.
    Play(0x90, 50, 80);
    Play(0x80, 50, 0);
    EXPECT_EQ(Slot(kSlot1), (std::vector<std::uint32_t>{Msg(0x90, 38, 80), Msg(0x80, 38, 0)}));
}

TEST_F(HeldNotesRouting, EditingOrDeletingAConnectionWhileAKeyIsHeldDoesNotRedirectItsNoteOff) {
    Build({1});
    TPart& part = Part(0, 0);
    TConnection& toSlot = Connect(part, kSlot0, +2);
    Connect(part, 1, 0, 3);
    Play(0x90, 60, 100);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x90, 62, 100)});
    EXPECT_EQ(Output(1), std::vector<std::uint32_t>{Msg(0x93, 60, 100)});

    toSlot.Transpose = 7;
    toSlot.RangeHi = 10;
    ASSERT_TRUE(part.DeleteConnection(1));
    Play(0x80, 60, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x80, 62, 0)});
    EXPECT_EQ(Output(1), std::vector<std::uint32_t>{Msg(0x83, 60, 0)});
    EXPECT_EQ(HeldCount(), 0);
}

TEST_F(HeldNotesRouting, AKeyFannedOutEndsEverywhereAndARepeatedNoteOnEndsTheOldOneFirst) {
    Build({2});
    Connect(Part(0, 0), kSlot0);
    Connect(Part(0, 0), kSlot1, +7, 2);
    Play(0x90, 60, 100);
    Play(0x90, 60, 110);
    EXPECT_EQ(Slot(kSlot0), (std::vector<std::uint32_t>{Msg(0x90, 60, 100), Msg(0x80, 60, 64),
                                                        Msg(0x90, 60, 110)}));
    EXPECT_EQ(Slot(kSlot1), (std::vector<std::uint32_t>{Msg(0x92, 67, 100), Msg(0x82, 67, 64),
                                                        Msg(0x92, 67, 110)}));
    EXPECT_EQ(HeldCount(), 2);

    NextPart(); // part 2 has no connections at all
    Play(0x80, 60, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x80, 60, 0)});
    EXPECT_EQ(Slot(kSlot1), std::vector<std::uint32_t>{Msg(0x82, 67, 0)});
    EXPECT_EQ(HeldCount(), 0);
}

TEST_F(HeldNotesRouting, APedalPressedBeforeAChangeIsReleasedWhereItWentDown) {
    Build({2});
    Connect(Part(0, 0), kSlot0);
    Connect(Part(0, 1), kSlot1);
    Play(0xB0, 64, 127);
    Play(0xB0, 64, 100); // a continuous pedal moving while down
    EXPECT_EQ(Slot(kSlot0), (std::vector<std::uint32_t>{Msg(0xB0, 64, 127), Msg(0xB0, 64, 100)}));
    EXPECT_EQ(PedalCount(), 1);

    NextPart();
    Play(0xB0, 64, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0xB0, 64, 0)});
    // Where the current part sends the pedal it is released too, as before.
    EXPECT_EQ(Slot(kSlot1), std::vector<std::uint32_t>{Msg(0xB0, 64, 0)});
    EXPECT_EQ(PedalCount(), 0);

    // Pressed and released within one part: one release per place, never two.
    Play(0xB0, 64, 127);
    Play(0xB0, 64, 0);
    EXPECT_EQ(Slot(kSlot1), (std::vector<std::uint32_t>{Msg(0xB0, 64, 127), Msg(0xB0, 64, 0)}));
    EXPECT_TRUE(Slot(kSlot0).empty());
}

TEST_F(HeldNotesRouting, AllNotesOffClosedOutputsAndRemovedPluginsForgetWhatTheySilenced) {
    Build({1});
    TPart& part = Part(0, 0);
    Connect(part, kSlot0);
    Connect(part, 1, 0, 0);
    Play(0x90, 60, 100);
    Play(0x90, 61, 100);
    EXPECT_EQ(HeldCount(), 4);
    Panic();
    EXPECT_EQ(HeldCount(), 0);
    Slot(kSlot0);
    Output(1);
    // Silenced already: the key's release sends nothing more, and pressing it again sends no
    // note-off first.
    Play(0x80, 60, 0);
    Play(0x90, 61, 100);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x90, 61, 100)});
    EXPECT_EQ(Output(1), std::vector<std::uint32_t>{Msg(0x90, 61, 100)});

    // All notes off on another channel of the same place silences nothing held here.
    SendFromConnection(*part.ConnectionAt(1), {0xB5, kCcAllNotesOff, 0});
    EXPECT_EQ(HeldCount(), 2);

    // An output that closes ends what it still holds, pedal included, then forgets it.
    Play(0xB0, 64, 127);
    Output(1);
    CloseOutputs();
    EXPECT_EQ(Output(1), (std::vector<std::uint32_t>{Msg(0x80, 61, 64), Msg(0xB0, 64, 0)}));
    EXPECT_EQ(HeldCount(), 1);
    EXPECT_EQ(PedalCount(), 1);

    // A slot whose plugin is removed forgets its notes and pedals: nothing is queued for the
    // next plugin there.
    ForgetSlotNotes(0);
    EXPECT_EQ(HeldCount(), 0);
    EXPECT_EQ(PedalCount(), 0);
    Slot(kSlot0);
    Play(0x80, 61, 0);
    Play(0xB0, 64, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0xB0, 64, 0)}) << "routed as usual";
}

TEST_F(HeldNotesRouting, AKeyTheFullTableCannotRememberIsReleasedThroughTheCurrentRouting) {
    Build({2});
    Connect(Part(0, 0), kSlot0);
    Connect(Part(0, 1), kSlot0);
    {
        std::lock_guard hold(RoutingLock);
        for (int i = 0; i < THeldNotes::kNoteCapacity; ++i) {
            ASSERT_TRUE(HeldNotes.Remember(1, i / 128 % 16, i % 128, {kSlot1, 0, 0}));
        }
    }
    Play(0x90, 60, 100);
    NextPart();
    Slot(kSlot0);
    Play(0x80, 60, 0);
    EXPECT_EQ(Slot(kSlot0), std::vector<std::uint32_t>{Msg(0x80, 60, 0)});
    std::lock_guard hold(RoutingLock);
    EXPECT_FALSE(HeldNotes.Overflowed(0, 0, 60));
}

TEST_F(HeldNotesRouting, SixteenChannelsOfHeldKeysAreReleasedWithoutAllocating) {
    Build({2});
    // Part 1: channel c to slot c. Part 2: everything to slot 0, an octave up.
    for (int channel = 0; channel < 16; ++channel) {
        TConnection& connection = Connect(Part(0, 0), kFirstInstrumentPort + channel);
        connection.InChannel = channel;
    }
    Connect(Part(0, 1), kSlot0, +12);
    const auto playAll = [&](std::uint8_t command, std::uint8_t velocity) {
        const std::size_t locksBefore = RealtimeLockCount();
        {
            // The MIDI thread's routing must not allocate. It takes the routing lock, which
            // is its own business: only allocations count here.
            RealtimeScope guard;
            for (int channel = 0; channel < 16; ++channel) {
                for (int key = 0; key < 128; ++key) {
                    Play(static_cast<std::uint8_t>(command | channel),
                         static_cast<std::uint8_t>(key), velocity);
                }
            }
        }
        test::AcknowledgeRealtimeLocks(RealtimeLockCount() - locksBefore);
    };
    state.queue.SetInspectorExists(false);
    playAll(0x90, 100);
    for (int channel = 0; channel < 16; ++channel) {
        ASSERT_EQ(TakeEvents(channel).size(), 128u) << channel;
    }
    EXPECT_EQ(HeldCount(), 16 * 128);

    NextPart();
    TakeEvents(0);
    playAll(0x80, 0);
    for (int channel = 0; channel < 16; ++channel) {
        std::set<std::uint32_t> expected;
        for (int key = 0; key < 128; ++key) {
            expected.insert(
                Msg(static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(key), 0));
        }
        const std::vector<std::uint32_t> events = TakeEvents(channel);
        EXPECT_EQ(events.size(), 128u) << channel;
        EXPECT_EQ(std::set<std::uint32_t>(events.begin(), events.end()), expected) << channel;
    }
    EXPECT_EQ(HeldCount(), 0);
}

} // namespace
} // namespace peldor
