#include "midi/midi_devices.h"

#include "project/project_file.h"
#include "tests/midi/midi_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace peldor {
namespace {

using test::Msg;
using test::TakeEvents;

class MidiDevices : public ::testing::Test {
protected:
    explicit MidiDevices(int inputs = 4, int outputs = 4) : state(inputs, outputs) {}

    // A project whose current part has one connection from input 0 to instrument slot 0.
    TConnection& RoutingConnection() {
        TProject& project = CreateProject();
        TPart* part = project.AddSong()->AddPart();
        CurrentSong = CurrentPart = 0;
        SetRoutingPart(part);
        TConnection* connection = part->AddConnection();
        connection->SetOutPort(kFirstInstrumentPort);
        return *connection;
    }

    bool Play(std::int32_t input, std::uint32_t word, std::uint32_t code = kMidiInData) {
        return state.backend->Play(input, word, code);
    }

    test::MidiTestState state;
};

TEST_F(MidiDevices, StatesFromSelectionThroughOpenToClosedAndRescanned) {
    ASSERT_EQ(MidiInputCount(), 4);
    ASSERT_EQ(MidiOutputCount(), 4);
    EXPECT_EQ(MidiInput(2).Name, "in 2");
    EXPECT_EQ(MidiOutput(3).Name, "out 3");
    EXPECT_FALSE(MidiInput(0).Selected || MidiInput(0).Opened || MidiInput(0).Started);

    SetMidiInputSelected(0, true);
    SetMidiOutputSelected(1, true);
    OpenSelectedDevices();
    EXPECT_TRUE(MidiInput(0).Opened && MidiInput(0).Started);
    EXPECT_FALSE(MidiInput(1).Opened);
    EXPECT_TRUE(MidiOutput(1).Opened && MidiOutput(1).SendEnabled);
    EXPECT_TRUE(state.backend->InputStarted(0));

    TConnection connection;
    connection.SetOutPort(1);
    const TMidiHandle oldHandle = MidiOutput(1).Handle;
    CloseAllDevices();
    EXPECT_TRUE(MidiInput(0).Selected);
    EXPECT_FALSE(MidiInput(0).Opened || MidiInput(0).Started);
    EXPECT_FALSE(MidiOutput(1).Opened || MidiOutput(1).SendEnabled);
    EXPECT_EQ(state.backend->OpenInputCount() + state.backend->OpenOutputCount(), 0);
    SendAllNotesOff(connection);
    EXPECT_TRUE(state.backend->TakeSent(1).empty());

    // Reopened, the output works again through a new handle; the old one is gone.
    OpenSelectedDevices();
    EXPECT_NE(MidiOutput(1).Handle, oldHandle);
    EXPECT_FALSE(state.backend->SendShortMessage(oldHandle, Msg(0x90, 1, 1)));
    SendAllNotesOff(connection);
    EXPECT_EQ(state.backend->TakeSent(1), std::vector<std::uint32_t>{Msg(0xB0, 123, 0)});

    // A rescan closes everything and forgets the selection.
    EnumerateDevices();
    EXPECT_FALSE(MidiInput(0).Selected || MidiOutput(1).Selected);
    EXPECT_EQ(state.backend->OpenInputCount() + state.backend->OpenOutputCount(), 0);
}

TEST_F(MidiDevices, DevicesThatRefuseOrVanishStayClosedAndSwallowWhatIsSent) {
    state.backend->SetOutputBusy(2, true);
    state.backend->SetInputBusy(1, true);
    state.OpenAll();
    EXPECT_FALSE(MidiOutput(2).Opened || MidiOutput(2).SendEnabled);
    EXPECT_FALSE(MidiInput(1).Opened || MidiInput(1).Started);
    EXPECT_TRUE(MidiOutput(3).SendEnabled);

    TConnection connection;
    connection.SetOutPort(2);
    state.Posted();
    SendFromConnection(connection, {0x90, 60, 1});
    EXPECT_TRUE(state.Posted().empty());

    // Unplugged while open: sending does nothing, closing and reopening are harmless.
    connection.SetOutPort(3);
    state.backend->UnplugOutput(3);
    state.backend->UnplugInput(0);
    SendFromConnection(connection, {0x90, 60, 1});
    EXPECT_TRUE(state.backend->TakeSent(3).empty());
    EXPECT_FALSE(Play(0, Msg(0x90, 60, 1)));
    CloseAllDevices();
    OpenSelectedDevices();
    EXPECT_FALSE(MidiOutput(3).Opened);
    EXPECT_FALSE(MidiInput(0).Opened);
    EXPECT_TRUE(MidiInput(2).Started);
}

TEST_F(MidiDevices, TheCallbackIgnoresForeignHandlesHighIndicesAndNoProject) {
    TConnection& connection = RoutingConnection();
    state.OpenAll();
    // The highest byte is cleared before routing.
    EXPECT_TRUE(Play(0, 0xAB000000u | Msg(0x90, 60, 100)));
    EXPECT_EQ(TakeEvents(0), std::vector<std::uint32_t>{Msg(0x90, 60, 100)});

    MidiInputCallback(MidiInput(0).Handle + 1000, kMidiInData, 0, Msg(0x90, 61, 1));
    MidiInputCallback(MidiInput(0).Handle, kMidiInData, 16, Msg(0x90, 61, 1));
    SetMidiProjectPresent(false);
    Play(0, Msg(0x90, 62, 1));
    SetMidiProjectPresent(true);
    EXPECT_TRUE(TakeEvents(0).empty());
    EXPECT_EQ(connection.InDisplay.Text, "on  C4 \xE2\x80\xBA 100");

    // Only short messages are routed.
    Play(0, Msg(0x90, 63, 1), kMidiInError);
    EXPECT_TRUE(TakeEvents(0).empty());
}

TEST_F(MidiDevices, RunningStatusStrayDataSysexAndRealTimeBytesRouteNothing) {
    TConnection& connection = RoutingConnection();
    connection.InChannel = kOmniChannel;
    connection.PassPolyPressure = 1;
    connection.PassProgramChange = 1;
    state.OpenAll();
    const std::uint32_t junk[] = {
        Msg(0x3C, 0x64),    // running status: data bytes without their status
        Msg(0x90, 0xBC, 1), // data byte with bit 7
        Msg(0x90, 1, 0xC8), Msg(0xF0, 0x7E, 0x7F), // the start of system exclusive data
        Msg(0xF7),          Msg(0xF8),
        Msg(0xFA),          Msg(0xFF),
        0xFFFFFFFFu,        0u,
    };
    for (std::uint32_t word : junk) {
        EXPECT_TRUE(Play(0, word));
    }
    EXPECT_TRUE(TakeEvents(0).empty());
    Play(0, Msg(0x95, 1, 2));
    EXPECT_EQ(TakeEvents(0), std::vector<std::uint32_t>{Msg(0x90, 1, 2)});
}

TEST_F(MidiDevices, LearnComesBeforeRemoteCommandsWhichComeBeforeRouting) {
    TConnection& connection = RoutingConnection();
    state.OpenAll();
    TRemoteCommand& nextSong = ProjectOptions().RemoteCommands[2];
    nextSong.Pattern[0] = 0x90;
    nextSong.Pattern[1] = 60;
    nextSong.Pattern[2] = -1;
    state.Posted();

    TMidiLearnCapture learn;
    SetMidiLearnHandler(&learn);
    EXPECT_TRUE(MidiLearnActive());
    Play(3, Msg(0x90, 60, 7)); // learn hears every input
    TShortMessage learned;
    ASSERT_TRUE(learn.Take(learned));
    EXPECT_EQ(learned, (TShortMessage{0x90, 60, 7}));
    EXPECT_FALSE(learn.Take(learned));
    Play(0, Msg(0x90, 60, 7));
    EXPECT_TRUE(learn.Take(learned));
    EXPECT_TRUE(state.Posted().empty());
    EXPECT_TRUE(TakeEvents(0).empty());
    SetMidiLearnHandler(nullptr);

    // On the remote port a matching note is a command and goes no further.
    Play(0, Msg(0x90, 60, 7));
    const std::vector<TWindowMessage> posted = state.Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0], (TWindowMessage{TWindowTarget::MainWindow, WM_REMOTECOMMAND, 2, 0, {}}));
    EXPECT_TRUE(TakeEvents(0).empty());
    // Remote commands are matched for every code, not only for short messages.
    Play(0, Msg(0x90, 60, 7), kMidiInOpen);
    EXPECT_EQ(state.Posted().size(), 1u);

    // The same note on another input, a note that matches nothing, and the remote port with
    // remote commands switched off are all routed.
    connection.InPort = 1;
    Play(1, Msg(0x90, 60, 7));
    connection.InPort = 0;
    Play(0, Msg(0x90, 61, 7));
    ProjectOptions().MidiRemoteEnabled = 0;
    Play(0, Msg(0x90, 60, 7));
    EXPECT_EQ(TakeEvents(0),
              (std::vector<std::uint32_t>{Msg(0x90, 60, 7), Msg(0x90, 61, 7), Msg(0x90, 60, 7)}));
    for (const TWindowMessage& message : state.Posted()) {
        EXPECT_NE(message.Message, WM_REMOTECOMMAND);
    }
}

TEST_F(MidiDevices, ActiveSensingIsDroppedBeforeLearnUnlessAllowed) {
    RoutingConnection();
    state.OpenAll();
    TMidiLearnCapture learn;
    SetMidiLearnHandler(&learn);
    TShortMessage learned;
    Play(0, Msg(0xFE, 0));
    EXPECT_FALSE(learn.Take(learned));
    ProjectOptions().ProcessActiveSense = 1;
    Play(0, Msg(0xFE, 0));
    ASSERT_TRUE(learn.Take(learned));
    EXPECT_EQ(learned.Status, 0xFE);
}

TEST_F(MidiDevices, SelectionIsStoredForDevicesZeroToFifteenOnly) {
    state.backend->AddOutput("late output");
    EnumerateDevices();
    SetMidiInputSelected(1, true);
    SetMidiOutputSelected(4, true);
    SetMidiOutputSelected(9, true); // no such device: ignored
    std::stringstream file;
    WriteDeviceSelection(file);
    std::string bytes = file.str();
    ASSERT_EQ(bytes.size(), 32u);
    EXPECT_EQ(bytes, std::string("\0\1", 2) + std::string(14, '\0') + std::string(4, '\0') +
                         std::string("\1", 1) + std::string(11, '\0'));

    // Read on a system with fewer devices: flags for missing ones are ignored.
    bytes[3] = 1;  // input 3 exists
    bytes[7] = 1;  // input 7 does not
    bytes[16] = 2; // any non-zero byte selects
    state.backend->UnplugOutput(4);
    EnumerateDevices();
    std::stringstream in(bytes);
    ASSERT_TRUE(ReadDeviceSelection(in));
    EXPECT_TRUE(MidiInput(1).Selected && MidiInput(3).Selected);
    EXPECT_TRUE(MidiOutput(0).Selected);
    EXPECT_TRUE(MidiOutput(4).Selected); // listed, merely unplugged

    std::stringstream shortFile(std::string(31, '\1'));
    EXPECT_FALSE(ReadDeviceSelection(shortFile));
    EXPECT_FALSE(MidiInput(0).Selected);
}

class TwentyInputs : public MidiDevices {
protected:
    TwentyInputs() : MidiDevices(20, 2) {}
};

TEST_F(TwentyInputs, DevicesSixteenAndUpAreListedButNeverRoutedOrStored) {
    TConnection& connection = RoutingConnection();
    connection.InPort = 17;
    ASSERT_EQ(MidiInputCount(), 20);
    EXPECT_EQ(MidiInput(19).Name, "in 19");
    state.OpenAll();
    EXPECT_TRUE(Play(17, Msg(0x90, 60, 1)));
    EXPECT_TRUE(TakeEvents(0).empty());
    EXPECT_EQ(connection.InDisplay.Text, "");

    std::stringstream file;
    WriteDeviceSelection(file);
    EXPECT_EQ(file.str().substr(0, 16), std::string(16, '\1'));
}

TEST_F(MidiDevices, AProjectFileOpensTheDevicesItNames) {
    ProjectLinks.Devices = &MidiDeviceSelection();
    CreateProject();
    SetMidiInputSelected(2, true);
    SetMidiOutputSelected(3, true);
    TByteBuffer bytes;
    TByteWriter writer(bytes);
    WriteProject(writer);
    WriteWindowLayout(writer);
    EXPECT_EQ(bytes[2], 1);
    EXPECT_EQ(bytes[16 + 3], 1);

    EnumerateDevices();
    TProjectFileImage image;
    TFileDamage damage;
    ASSERT_TRUE(ParseProjectFile(bytes, image, damage)) << damage.What;
    ReadProject(image);
    EXPECT_TRUE(MidiInput(2).Started);
    EXPECT_TRUE(MidiOutput(3).SendEnabled);
    EXPECT_FALSE(MidiInput(0).Opened);
}

} // namespace
} // namespace peldor
