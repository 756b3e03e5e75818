#include "midi/routing.h"

#include "tests/midi/midi_test_support.h"

#include <gtest/gtest.h>

namespace peldor {
namespace {

using test::Msg;
using test::TakeEvents;

constexpr std::int32_t kSlot3 = kFirstInstrumentPort + 3;

class Routing : public ::testing::Test {
protected:
    Routing() { state.OpenAll(); }

    // The filter's verdict as a word, or 0 when blocked.
    std::uint32_t Filter(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
        const TFilterResult result = FilterMessage(connection, {status, data1, data2});
        return result.Pass ? PackShortMessage(result.Message) : 0;
    }

    test::MidiTestState state;
    TConnection connection;
};

TEST_F(Routing, EachMessageTypePassesOnlyUnderItsFlagWithTheOutputChannel) {
    connection.InChannel = kOmniChannel;
    connection.OutChannel = 9;
    connection.PassPolyPressure = 1;
    connection.PassProgramChange = 1;
    struct Row {
        Relaxed<std::uint8_t>* flag;
        std::uint32_t in;
        std::uint32_t out;
    };
    const Row rows[] = {
        {&connection.PassNote, Msg(0x80, 60, 10), Msg(0x89, 60, 10)},
        {&connection.PassNote, Msg(0x92, 60, 99), Msg(0x99, 60, 99)},
        {&connection.PassPolyPressure, Msg(0xA0, 61, 5), Msg(0xA9, 61, 5)},
        {&connection.PassController, Msg(0xB0, 74, 3), Msg(0xB9, 74, 3)},
        {&connection.PassProgramChange, Msg(0xC0, 12), Msg(0xC9, 12)},
        {&connection.PassAftertouch, Msg(0xD0, 44), Msg(0xD9, 44)},
        {&connection.PassPitchbend, Msg(0xE0, 1, 2), Msg(0xE9, 1, 2)},
    };
    for (const Row& row : rows) {
        const TShortMessage in = UnpackShortMessage(row.in);
        EXPECT_EQ(Filter(in.Status, in.Data1, in.Data2), row.out) << std::hex << row.in;
        *row.flag = 0;
        EXPECT_EQ(Filter(in.Status, in.Data1, in.Data2), 0u) << std::hex << row.in;
        *row.flag = 1;
    }
    // System messages never pass, whatever the flags.
    for (std::uint8_t status : {0xF0, 0xF1, 0xF2, 0xF6, 0xF8, 0xFA, 0xFF}) {
        EXPECT_EQ(Filter(status, 0, 0), 0u) << int(status);
    }
}

TEST_F(Routing, DisabledConnectionsAndMalformedBytesBlock) {
    EXPECT_NE(Filter(0x90, 60, 100), 0u);
    EXPECT_EQ(Filter(0x40, 60, 100), 0u); // a data byte where the status belongs
    EXPECT_EQ(Filter(0x90, 0xBC, 100), 0u);
    EXPECT_EQ(Filter(0x90, 60, 0x80), 0u);
    connection.Enabled = 0;
    EXPECT_EQ(Filter(0x90, 60, 100), 0u);
}

TEST_F(Routing, ChannelTestLetsSystemBytesThroughToTheTypeTable) {
    connection.InChannel = 3;
    EXPECT_EQ(Filter(0x94, 60, 100), 0u);
    EXPECT_EQ(Filter(0x93, 60, 100), Msg(0x90, 60, 100));
    // 0xF8 is not stopped by the channel test, only by being a system message; with active
    // sensing allowed, 0xFE shows that system bytes reach the table on any channel setting.
    EXPECT_EQ(Filter(0xF8, 0, 0), 0u);
    ProjectOptions().ProcessActiveSense = 1;
    EXPECT_EQ(Filter(0xFE, 0, 0), Msg(0xFE, 0));
    connection.InChannel = kOmniChannel;
    EXPECT_EQ(Filter(0x94, 60, 100), Msg(0x90, 60, 100));
}

TEST_F(Routing, KeyRangeIsTestedBeforeTranspositionWhichClamps) {
    connection.Transpose = 12;
    EXPECT_EQ(Filter(0x90, 120, 1), Msg(0x90, 127, 1));
    connection.Transpose = -48;
    EXPECT_EQ(Filter(0x80, 30, 0), Msg(0x80, 0, 0));
    connection.Transpose = 5;
    connection.RangeLo = 40;
    connection.RangeHi = 50;
    EXPECT_EQ(Filter(0x90, 39, 9), 0u); // 44 would be inside, but 39 is not
    EXPECT_EQ(Filter(0x90, 40, 9), Msg(0x90, 45, 9));
    EXPECT_EQ(Filter(0x90, 50, 9), Msg(0x90, 55, 9));
    EXPECT_EQ(Filter(0x90, 51, 9), 0u);
    connection.PassPolyPressure = 1;
    EXPECT_EQ(Filter(0xA0, 45, 9), Msg(0xA0, 50, 9));
    EXPECT_EQ(Filter(0xA0, 60, 9), 0u);
    // Controllers are neither range-tested nor transposed.
    EXPECT_EQ(Filter(0xB0, 60, 9), Msg(0xB0, 60, 9));
}

TEST_F(Routing, OutputChannelMultiKeepsTheIncomingChannelAndNothingChangesTheType) {
    connection.InChannel = kOmniChannel;
    connection.OutChannel = kMultiChannel;
    EXPECT_EQ(Filter(0x85, 60, 0), Msg(0x85, 60, 0));
    EXPECT_EQ(Filter(0xEC, 0, 64), Msg(0xEC, 0, 64));
    // A damaged channel value keeps the note off a note off.
    connection.OutChannel = 0x12;
    EXPECT_EQ(Filter(0x85, 60, 0), Msg(0x82, 60, 0));
}

TEST_F(Routing, UserFiltersPassOneControllerWithoutCapturing) {
    connection.PassController = 0;
    connection.PassUser1 = 1;
    ProjectOptions().UserFilter1[0] = 0x90; // status and data 2 of the filter play no part
    EXPECT_EQ(Filter(0xB0, 64, 127), Msg(0xB0, 64, 127));
    EXPECT_EQ(Filter(0xB0, 7, 10), 0u);
    EXPECT_EQ(Filter(0xB0, 123, 0), 0u);
    connection.PassUser2 = 1;
    EXPECT_EQ(Filter(0xB0, 123, 0), Msg(0xB0, 123, 0));

    ProjectOptions().UserFilter1[1] = 7;
    const TFilterResult volume = FilterMessage(connection, {0xB0, 7, 10});
    EXPECT_TRUE(volume.Pass);
    EXPECT_FALSE(volume.Captured);
    EXPECT_EQ(connection.Volume, 96);
}

TEST_F(Routing, ControllersAndProgramsAreCapturedWhenEnabled) {
    connection.BankHiEnabled = 1;
    connection.PassProgramChange = 1;
    struct Case {
        std::uint8_t controller;
        Relaxed<std::uint8_t>* field;
    };
    for (const Case& c :
         {Case{7, &connection.Volume}, Case{10, &connection.Pan}, Case{0, &connection.BankHi}}) {
        const TFilterResult result = FilterMessage(connection, {0xB0, c.controller, 33});
        EXPECT_TRUE(result.Pass);
        EXPECT_TRUE(result.Captured);
        EXPECT_EQ(*c.field, 33);
    }
    // BankLo is not enabled: the message passes, nothing is captured.
    const TFilterResult bankLo = FilterMessage(connection, {0xB0, 32, 33});
    EXPECT_TRUE(bankLo.Pass);
    EXPECT_FALSE(bankLo.Captured);
    EXPECT_EQ(connection.BankLo, 0);

    const TFilterResult program = FilterMessage(connection, {0xC0, 42, 0});
    EXPECT_TRUE(program.Captured);
    EXPECT_EQ(connection.Program, 42);
    connection.ProgramEnabled = 0;
    EXPECT_FALSE(FilterMessage(connection, {0xC0, 43, 0}).Captured);
    connection.ProgramEnabled = 1;
    connection.PassProgramChange = 0;
    EXPECT_FALSE(FilterMessage(connection, {0xC0, 44, 0}).Pass);
    EXPECT_EQ(connection.Program, 42);
}

TEST_F(Routing, ActiveSensingFlipsTheToggleAndPassesOnlyWhenAllowed) {
    connection.SetOutPort(kSlot3);
    RouteMessage(connection, 0, {0xFE, 0, 0});
    EXPECT_EQ(connection.SenseToggle, 1);
    EXPECT_EQ(PendingCount[3], 0);
    EXPECT_EQ(connection.InDisplay.Text, "sense");

    ProjectOptions().ProcessActiveSense = 1;
    RouteMessage(connection, 0, {0xFE, 0, 0});
    EXPECT_EQ(connection.SenseToggle, 0);
    EXPECT_EQ(TakeEvents(3), std::vector<std::uint32_t>{Msg(0xFE, 0)});
    EXPECT_EQ(connection.OutDisplay.Text, "sense");
}

TEST_F(Routing, DeliveryToOutputsAndSlotsPostsTheMonitorText) {
    connection.SetOutPort(2);
    connection.OutChannel = 4;
    connection.PassProgramChange = 1;
    RouteMessage(connection, 0, {0x90, 60, 100});
    RouteMessage(connection, 1, {0x90, 61, 100}); // another input: not this connection's
    RouteMessage(connection, 0, {0xC0, 5, 0});
    EXPECT_EQ(state.backend->TakeSent(2),
              (std::vector<std::uint32_t>{Msg(0x94, 60, 100), Msg(0xC4, 5)}));
    std::vector<TWindowMessage> posted = state.Posted();
    ASSERT_EQ(posted.size(), 3u); // display, repaint for the captured program, display
    EXPECT_EQ(posted[0].Message, WM_MIDIDISPLAY);
    EXPECT_EQ(posted[0].WParam, 4u | (18u << 16));
    EXPECT_EQ(posted[0].Text, "on  C4 \xE2\x80\xBA 100");
    EXPECT_EQ(posted[1].Message, WM_PAINT);
    EXPECT_EQ(posted[2].WParam, 4u | (18u << 16) | 0x80000000u);
    EXPECT_EQ(posted[2].Text, "Program 6");
    EXPECT_EQ(connection.InDisplay.Text, "Program 6");

    // An output that is not open, or not enabled, takes nothing and nothing is posted.
    DisableOutputs();
    RouteMessage(connection, 0, {0x90, 60, 100});
    connection.SetOutPort(7);
    RouteMessage(connection, 0, {0x90, 60, 100});
    connection.SetOutPort(32);
    RouteMessage(connection, 0, {0x90, 60, 100});
    EXPECT_TRUE(state.backend->TakeSent(2).empty());
    EXPECT_TRUE(state.Posted().empty());

    // Into an instrument slot; no posts while the inspector does not exist.
    state.queue.SetInspectorExists(false);
    connection.SetOutPort(kSlot3);
    RouteMessage(connection, 0, {0x90, 62, 1});
    EXPECT_EQ(TakeEvents(3), std::vector<std::uint32_t>{Msg(0x94, 62, 1)});
    EXPECT_TRUE(state.Posted().empty());
}

TEST_F(Routing, AFloodKeeps2047EventsPerBlockAndTheNextBlockStartsAfresh) {
    connection.SetOutPort(kSlot3);
    state.queue.SetInspectorExists(false);
    for (int i = 0; i < 100000; ++i) {
        RouteMessage(connection, 0, {0x90, static_cast<std::uint8_t>(i % 128), 1});
    }
    EXPECT_EQ(PendingCount[3], kMaxQueuedEvents);
    const std::vector<std::uint32_t> first = TakeEvents(3);
    ASSERT_EQ(first.size(), 2047u);
    EXPECT_EQ(first.front(), Msg(0x90, 0, 1));
    EXPECT_EQ(first.back(), Msg(0x90, 2046 % 128, 1));
    RouteMessage(connection, 0, {0x80, 9, 0});
    EXPECT_EQ(TakeEvents(3), std::vector<std::uint32_t>{Msg(0x80, 9, 0)});
}

TEST_F(Routing, ActivationAndAllNotesOffIgnoreEnabledAndUseTheLowFourChannelBits) {
    connection.SetOutPort(1);
    connection.Enabled = 0;
    connection.OutChannel = kMultiChannel; // channel 1 for the connection's own messages
    connection.BankHiEnabled = 1;
    connection.BankLoEnabled = 1;
    connection.BankHi = 3;
    connection.BankLo = 4;
    connection.Program = 200; // only a damaged file holds this; its low seven bits are sent
    connection.Volume = 100;
    connection.Pan = 20;
    SendActivation(connection);
    SendAllNotesOff(connection);
    EXPECT_EQ(
        state.backend->TakeSent(1),
        (std::vector<std::uint32_t>{Msg(0xB0, 0, 3), Msg(0xB0, 32, 4), Msg(0xC0, 72),
                                    Msg(0xB0, 7, 100), Msg(0xB0, 10, 20), Msg(0xB0, 123, 0)}));

    connection.OutChannel = 2;
    connection.BankHiEnabled = 0;
    connection.BankLoEnabled = 0;
    connection.ProgramEnabled = 0;
    connection.PanEnabled = 0;
    SendActivation(connection);
    EXPECT_EQ(state.backend->TakeSent(1), std::vector<std::uint32_t>{Msg(0xB2, 7, 100)});
    EXPECT_EQ(connection.OutDisplay.Text, "cc Volume   \xE2\x80\xBA 100");
}

} // namespace
} // namespace peldor
