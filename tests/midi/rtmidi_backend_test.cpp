// The RtMidi backend against a private JACK server: a test client plays into a JACK MIDI port
// that Peldor has opened as an input device and listens on a port Peldor sends to.

#include "midi/rtmidi_backend.h"

#include "tests/midi/midi_test_support.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace peldor {
namespace {

using test::Msg;

// A JACK client with a MIDI output ("out") that plays what the test queues and a MIDI input
// ("in") that keeps what it receives.
class MidiTestClient {
public:
    explicit MidiTestClient(const std::string& serverName) {
        toPlay = jack_ringbuffer_create(kRingBytes);
        received = jack_ringbuffer_create(kRingBytes);
        jack_status_t status{};
        client = jack_client_open("midi-source",
                                  static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                  &status, serverName.c_str());
        if (client == nullptr) {
            return;
        }
        out = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        in = jack_port_register(client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_process_callback(client, &MidiTestClient::Process, this);
        jack_activate(client);
    }
    ~MidiTestClient() {
        Close();
        jack_ringbuffer_free(toPlay);
        jack_ringbuffer_free(received);
    }

    bool Ready() const { return client != nullptr && out != nullptr && in != nullptr; }
    void Close() {
        if (client != nullptr) {
            jack_client_close(client);
            client = nullptr;
        }
    }

    void Play(std::uint32_t word) {
        jack_ringbuffer_write(toPlay, reinterpret_cast<const char*>(&word), sizeof word);
    }

    /// Waits for a message at "in".
    bool Receive(std::uint32_t& word, std::chrono::milliseconds timeout = kPatience) {
        return WaitFor(timeout, [&] {
            return jack_ringbuffer_read(received, reinterpret_cast<char*>(&word), sizeof word) ==
                   sizeof word;
        });
    }

    template <typename Condition>
    static bool WaitFor(std::chrono::milliseconds timeout, Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    static constexpr std::chrono::milliseconds kPatience{5000};

private:
    static constexpr std::size_t kRingBytes = 4096;

    static int Process(jack_nframes_t frames, void* self) {
        auto* me = static_cast<MidiTestClient*>(self);
        void* outBuffer = jack_port_get_buffer(me->out, frames);
        jack_midi_clear_buffer(outBuffer);
        std::uint32_t word = 0;
        while (jack_ringbuffer_read(me->toPlay, reinterpret_cast<char*>(&word), sizeof word) ==
               sizeof word) {
            const unsigned char bytes[3] = {static_cast<unsigned char>(word & 0xFF),
                                            static_cast<unsigned char>((word >> 8) & 0xFF),
                                            static_cast<unsigned char>((word >> 16) & 0xFF)};
            jack_midi_event_write(outBuffer, 0, bytes, ShortMessageLength(bytes[0]));
        }
        void* inBuffer = jack_port_get_buffer(me->in, frames);
        const jack_nframes_t count = jack_midi_get_event_count(inBuffer);
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, inBuffer, i) == 0 && event.size <= 3) {
                std::uint32_t in = 0;
                for (std::size_t b = 0; b < event.size; ++b) {
                    in |= static_cast<std::uint32_t>(event.buffer[b]) << (8 * b);
                }
                jack_ringbuffer_write(me->received, reinterpret_cast<const char*>(&in), sizeof in);
            }
        }
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* out = nullptr;
    jack_port_t* in = nullptr;
    jack_ringbuffer_t* toPlay = nullptr;
    jack_ringbuffer_t* received = nullptr;
};

std::int32_t FindDevice(bool input, const std::string& name) {
    const std::int32_t count = input ? MidiInputCount() : MidiOutputCount();
    for (std::int32_t i = 0; i < count; ++i) {
        if ((input ? MidiInput(i).Name : MidiOutput(i).Name) == name) {
            return i;
        }
    }
    return -1;
}

TEST(RtMidiJack, NotesReachTheInstrumentQueueAndRemoteCommandsAreNotRouted) {
    test::JackServer server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    setenv("JACK_DEFAULT_SERVER", server.Name().c_str(), 1);
    MidiTestClient source(server.Name());
    ASSERT_TRUE(source.Ready());

    test::MidiTestState state(0, 0);
    InstallMidiBackend(CreateRtMidiBackend(TMidiApi::Jack, "Peldor"));
    EnumerateDevices();
    const std::int32_t input = FindDevice(true, "midi-source:out");
    const std::int32_t output = FindDevice(false, "midi-source:in");
    ASSERT_GE(input, 0);
    ASSERT_GE(output, 0);

    TProject& project = CreateProject();
    TPart* part = project.AddSong()->AddPart();
    CurrentSong = CurrentPart = 0;
    SetRoutingPart(part);
    TConnection* toSynth = part->AddConnection();
    toSynth->SetInPort(input);
    toSynth->SetOutPort(kFirstInstrumentPort + 2);
    toSynth->Transpose = 12;
    toSynth->OutChannel = 3;
    TConnection* toDevice = part->AddConnection();
    toDevice->SetInPort(input);
    toDevice->SetOutPort(output);
    toDevice->OutChannel = 9;
    ProjectOptions().RemotePort = input;
    TRemoteCommand& nextPart = ProjectOptions().RemoteCommands[0];
    nextPart.Pattern[0] = 0x90;
    nextPart.Pattern[1] = 0x30;
    nextPart.Pattern[2] = -1;

    SetMidiInputSelected(input, true);
    SetMidiOutputSelected(output, true);
    OpenSelectedDevices();
    ASSERT_TRUE(MidiInput(input).Started);
    ASSERT_TRUE(MidiOutput(output).SendEnabled);
    // Our own ports are not offered as devices.
    EXPECT_EQ(FindDevice(true, "Peldor:out 1"), -1);

    source.Play(Msg(0x90, 60, 100));
    ASSERT_TRUE(
        MidiTestClient::WaitFor(MidiTestClient::kPatience, [] { return PendingCount[2] > 0; }));
    EXPECT_EQ(test::TakeEvents(2), std::vector<std::uint32_t>{Msg(0x93, 72, 100)});
    std::uint32_t sent = 0;
    ASSERT_TRUE(source.Receive(sent));
    EXPECT_EQ(sent, Msg(0x99, 60, 100));

    state.Posted();
    source.Play(Msg(0x90, 0x30, 1));
    std::vector<TWindowMessage> posted;
    ASSERT_TRUE(MidiTestClient::WaitFor(MidiTestClient::kPatience, [&] {
        for (TWindowMessage& message : state.Posted()) {
            posted.push_back(std::move(message));
        }
        return !posted.empty();
    }));
    EXPECT_EQ(posted.front(),
              (TWindowMessage{TWindowTarget::MainWindow, WM_REMOTECOMMAND, 0, 0, {}}));
    EXPECT_EQ(PendingCount[2], 0);
    // A few periods are long enough for a routed note to have come back.
    EXPECT_FALSE(source.Receive(sent, std::chrono::milliseconds(100)));

    // Closing while the input's thread is busy routing to the output neither hangs nor
    // crashes, and afterwards everything works as before.
    for (int i = 0; i < 300; ++i) {
        source.Play(Msg(0x90, static_cast<std::uint8_t>(i & 0x7F), 1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    CloseAllDevices();
    OpenSelectedDevices();
    test::TakeEvents(2);
    while (source.Receive(sent, std::chrono::milliseconds(100))) {
    }
    source.Play(Msg(0x90, 61, 100));
    ASSERT_TRUE(source.Receive(sent));
    EXPECT_EQ(sent, Msg(0x99, 61, 100));

    // The server goes away under open devices: sending does nothing, closing completes.
    source.Close();
    server.Stop();
    SendAllNotesOff(*toDevice);
    SendActivation(*toDevice);
    CloseAllDevices();
    OpenSelectedDevices();
    EXPECT_FALSE(MidiInput(input).Opened);
    InstallMidiBackend(nullptr);
    unsetenv("JACK_DEFAULT_SERVER");
}

TEST(RtMidiSettings, EnvironmentBeatsTheSettingsFileWhichBeatsTheDefault) {
    EXPECT_EQ(ChooseMidiApi(nullptr, ""), TMidiApi::Alsa);
    EXPECT_EQ(ChooseMidiApi(nullptr, "JACK"), TMidiApi::Jack);
    EXPECT_EQ(ChooseMidiApi("alsa", "jack"), TMidiApi::Alsa);
    EXPECT_EQ(ChooseMidiApi("Jack", ""), TMidiApi::Jack);
    EXPECT_EQ(ChooseMidiApi("coreaudio", "jack"), TMidiApi::Jack);
    EXPECT_EQ(ChooseMidiApi("", "winmm"), TMidiApi::Alsa);

    test::TempDir dir;
    const std::string ini = (dir / "peldor.ini").string();
    EXPECT_EQ(ReadMidiApiSetting(ini), "");
    std::ofstream(ini) << "[General]\nAPI=alsa\n[midi]\napi=jack\n";
    EXPECT_EQ(ReadMidiApiSetting(ini), "jack");
}

TEST(RtMidiJack, WithoutAServerThereAreNoDevicesAndNothingFails) {
    setenv("JACK_DEFAULT_SERVER", "peldor-no-such-server", 1);
    auto backend = CreateRtMidiBackend(TMidiApi::Jack, "Peldor");
    EXPECT_EQ(backend->InputCount(), 0);
    EXPECT_EQ(backend->OutputCount(), 0);
    TMidiHandle handle = kNoMidiHandle;
    EXPECT_FALSE(backend->OpenOutput(0, handle));
    EXPECT_FALSE(backend->SendShortMessage(handle, Msg(0x90, 1, 1)));
    EXPECT_FALSE(backend->CloseInput(42));
    unsetenv("JACK_DEFAULT_SERVER");
}

} // namespace
} // namespace peldor
