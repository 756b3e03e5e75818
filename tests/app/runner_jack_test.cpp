// The headless runner live on a private JACK server: a note from a JACK MIDI client is heard
// on the master output ports, a remote command steps to the next part whose transposition is
// heard, SIGTERM ends it; and when the server goes away the runner stays up and plays again
// once the server is back.

#include "app/show_builder.h"
#include "engine/strip_table.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>

namespace peldor::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 48000;
constexpr std::size_t kRecordFrames = kRate / 2;
constexpr auto kPatience = 30s;

/// A JACK client on stage: a MIDI output "keys" that plays what the test queues, and two audio
/// inputs that record the runner's master outputs on request.
class StageClient {
public:
    explicit StageClient(const std::string& server) {
        toPlay = jack_ringbuffer_create(kRingBytes);
        jack_status_t status{};
        client = jack_client_open("stage",
                                  static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                  &status, server.c_str());
        if (client == nullptr) {
            return;
        }
        keys = jack_port_register(client, "keys", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        for (int c = 0; c < 2; ++c) {
            inputs[c] = jack_port_register(client, ("in_" + std::to_string(c + 1)).c_str(),
                                           JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
            recorded[c].assign(kRecordFrames, 0.0f);
        }
        jack_set_process_callback(client, &StageClient::Process, this);
        jack_activate(client);
    }
    ~StageClient() {
        if (client != nullptr) {
            jack_client_close(client);
        }
        jack_ringbuffer_free(toPlay);
    }

    bool Ready() const { return client != nullptr && keys != nullptr; }

    void Play(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        const std::uint8_t bytes[3] = {status, data1, data2};
        jack_ringbuffer_write(toPlay, reinterpret_cast<const char*>(bytes), sizeof bytes);
    }

    /// The runner's audio output port ending in suffix ("out_1"), or empty.
    std::string RunnerPort(const std::string& suffix) const {
        const std::string pattern = ":" + suffix + "$";
        const char** ports =
            jack_get_ports(client, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        std::string name;
        if (ports != nullptr) {
            if (ports[0] != nullptr) {
                name = ports[0];
            }
            jack_free(static_cast<void*>(ports));
        }
        return name;
    }
    /// Connects the runner's first two outputs to the inputs.
    bool ConnectRunner() {
        for (int c = 0; c < 2; ++c) {
            const std::string from = RunnerPort("out_" + std::to_string(c + 1));
            if (from.empty() ||
                jack_connect(client, from.c_str(), jack_port_name(inputs[c])) != 0) {
                return false;
            }
        }
        return true;
    }
    /// The runner has connected its MIDI input to "keys".
    bool KeysListenedTo() const { return jack_port_connected(keys) > 0; }

    /// Records half a second of both inputs.
    bool Record() {
        frames.store(0);
        recording.store(true);
        return WaitUntil(10s, [this] { return !recording.load(); });
    }
    const std::vector<float>& Recorded(int channel) const { return recorded[channel]; }

private:
    static constexpr std::size_t kRingBytes = 4096;

    static int Process(jack_nframes_t n, void* self) {
        auto* me = static_cast<StageClient*>(self);
        void* out = jack_port_get_buffer(me->keys, n);
        jack_midi_clear_buffer(out);
        std::uint8_t bytes[3];
        while (jack_ringbuffer_read(me->toPlay, reinterpret_cast<char*>(bytes), sizeof bytes) ==
               sizeof bytes) {
            jack_midi_event_write(out, 0, bytes, sizeof bytes);
        }
        if (me->recording.load(std::memory_order_acquire)) {
            const std::size_t at = me->frames.load(std::memory_order_relaxed);
            const std::size_t take = std::min<std::size_t>(n, kRecordFrames - at);
            for (int c = 0; c < 2; ++c) {
                const auto* in = static_cast<const float*>(jack_port_get_buffer(me->inputs[c], n));
                std::copy_n(in, take, me->recorded[c].begin() + static_cast<std::ptrdiff_t>(at));
            }
            me->frames.store(at + take, std::memory_order_relaxed);
            if (at + take == kRecordFrames) {
                me->recording.store(false, std::memory_order_release);
            }
        }
        return 0;
    }

    jack_client_t* client = nullptr;
    jack_port_t* keys = nullptr;
    jack_port_t* inputs[2] = {};
    jack_ringbuffer_t* toPlay = nullptr;
    std::vector<float> recorded[2];
    std::atomic<bool> recording{false};
    std::atomic<std::size_t> frames{0};
};

/// The strongest level of a frequency over the recording's short windows: a machine under load
/// may drop a few periods (xruns), so the average over the whole recording would say too little.
double HeardLevel(const std::vector<float>& samples, double frequency) {
    constexpr std::size_t kWindow = 2048;
    double strongest = 0.0;
    for (std::size_t begin = 0; begin + kWindow <= samples.size(); begin += kWindow / 2) {
        strongest =
            std::max(strongest, ToneLevel(samples, begin, begin + kWindow, frequency, kRate));
    }
    return strongest;
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

class RunnerJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitStripTable();
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        std::filesystem::create_directories(dir / "plugins");
        std::filesystem::copy_file(TestPlugin("PeldorSynth"), dir / "plugins" / "PeldorSynth.so");
        WriteSettings();
    }

    void WriteSettings() {
        // No driver index: the command line names it.
        std::ofstream(dir / "peldor.ini")
            << "[ASIO]\nDriver=-1\nSample rate=" << kRate << "\nOutMainL=0\nOutMainR=1\n"
            << "[JACK]\nServer=" << server.Name() << "\nInputs=0\nOutputs=2\nAuto connect=0\n"
            << "[MIDI]\nAPI=jack\n";
    }

    /// name: the runner's output files (a new name for each run: the child empties its files
    /// only after it has started).
    bool StartRunner(const TShowDescription& show, const std::string& name = "runner") {
        std::string error;
        EXPECT_TRUE(WriteShowFile(dir / "show.pdp", show, error)) << error;
        return runner.Start(PeldorProgram(),
                            {"--headless", "--ini", (dir / "peldor.ini").string(), "--driver",
                             "JACK", "--project", (dir / "show.pdp").string(), "--plugin-dir",
                             (dir / "plugins").string(), "--registry",
                             (dir / "registry.ini").string(), "--trace"},
                            dir.Path(), name, {{"JACK_DEFAULT_SERVER", server.Name()}});
    }

    /// Both outputs of the runner, for failure messages.
    std::string Output() const {
        std::string shm;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
            if (entry.path().filename().string().find(server.Name()) != std::string::npos) {
                shm += entry.path().filename().string() + " ";
            }
        }
        std::ifstream ini(dir / "peldor.ini");
        std::string settings((std::istreambuf_iterator<char>(ini)), {});
        return "--- server " + server.Name() + " running " + std::to_string(server.Running()) +
               ": " + shm + "\n--- settings:\n" + settings + "--- stdout:\n" + runner.Stdout() +
               "--- stderr:\n" + runner.Stderr();
    }

    void StopRunner() {
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(runner.Signal(SIGTERM));
        const std::optional<int> code = runner.Wait(10s);
        ASSERT_TRUE(code.has_value()) << Output();
        EXPECT_EQ(*code, 0) << Output();
        EXPECT_LT(std::chrono::steady_clock::now() - sent, 2s);
    }

    JackServer server{kRate, 256};
    TempDir dir;
    ChildProcess runner;
};

TEST_F(RunnerJackTest, ANoteFromAJackMidiClientIsHeardAndARemoteCommandChangesThePart) {
    StageClient stage(server.Name());
    ASSERT_TRUE(stage.Ready());
    TShowDescription show;
    show.Parts = {{"home", 0}, {"octave up", 12}};
    constexpr std::uint8_t kRemoteController = 80;
    show.NextPartController = kRemoteController;
    ASSERT_TRUE(StartRunner(show));

    // The runner is up once its audio ports exist and its MIDI input listens to the keys.
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return !stage.RunnerPort("out_1").empty() && stage.KeysListenedTo();
    })) << Output();
    ASSERT_TRUE(stage.ConnectRunner());
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return runner.Stdout().find("part 1/2 \"home\"") != std::string::npos;
    })) << Output();

    const double a4 = NoteFrequency(69);
    stage.Play(0x90, 69, 100);
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(stage.Record()) << Output();
    stage.Play(0x80, 69, 0);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& heard = stage.Recorded(c);
        const double note = HeardLevel(heard, a4);
        EXPECT_GT(note, 0.05) << "channel " << c;
        EXPECT_LT(HeardLevel(heard, 2 * a4), note / 5) << "channel " << c;
    }

    // The remote command on the remote input is not routed; it steps to the next part.
    stage.Play(0xB0, kRemoteController, 127);
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return runner.Stdout().find("part 2/2 \"octave up\"") != std::string::npos;
    })) << Output();
    stage.Play(0x90, 69, 100);
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(stage.Record()) << Output();
    stage.Play(0x80, 69, 0);
    const std::vector<float>& heard = stage.Recorded(0);
    const double octave = HeardLevel(heard, 2 * a4);
    EXPECT_GT(octave, 0.05);
    // A dropped period under load splashes a little of every frequency; the note is not there.
    EXPECT_LT(HeardLevel(heard, a4), octave / 5);

    StopRunner();
    EXPECT_NE(runner.Stderr().find("shut-down: audio host and plugin host released"),
              std::string::npos);
}

TEST_F(RunnerJackTest, WhenTheServerGoesAwayTheRunnerStaysUpAndPlaysAgainOnceItIsBack) {
    TShowDescription show;
    show.TestTone = true;
    ASSERT_TRUE(StartRunner(show));
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return runner.Stderr().find("audio driver \"JACK\" running") != std::string::npos;
    })) << Output();

    server.Stop();
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return runner.Stderr().find("stopped; trying again") != std::string::npos;
    })) << Output();
    EXPECT_FALSE(runner.Wait(500ms).has_value()) << "the runner ended with the server";

    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    ASSERT_TRUE(WaitUntil(kPatience, [&] {
        return Count(runner.Stderr(), "audio driver \"JACK\" running") >= 2;
    })) << Output();
    // The test tone comes out of the new client's ports.
    StageClient stage(server.Name());
    ASSERT_TRUE(stage.Ready());
    ASSERT_TRUE(WaitUntil(kPatience, [&] { return stage.ConnectRunner(); })) << Output();
    ASSERT_TRUE(stage.Record()) << Output();
    EXPECT_GT(HeardLevel(stage.Recorded(0), 1000.0), 0.05);

    StopRunner();
}

// At system shut-down or log-out every process is told to stop at once: the runner and its
// JACK server get SIGTERM together while JACK MIDI carries notes. The runner must end cleanly
// with its settings written, wherever in its shut-down the server vanishes.
TEST_F(RunnerJackTest, ShutDownSurvivesTheServerStoppingAtTheSameMoment) {
    const std::string sequencer = "/usr/bin/jack_midiseq"; // from jackd2
    ASSERT_TRUE(std::filesystem::exists(sequencer));
    TShowDescription show;
    constexpr int kRounds = 4;
    // Signal the server this long after the runner (negative: before it).
    constexpr std::chrono::milliseconds kServerDelay[kRounds] = {0ms, 0ms, 150ms, -20ms};
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string error;
        ASSERT_TRUE(server.Start(&error)) << error;
        WriteSettings();
        ChildProcess notes;
        // A note every 50 ms on the first MIDI port the runner finds.
        ASSERT_TRUE(notes.Start(sequencer, {"keys", "2400", "0", "60", "1200"}, dir.Path(),
                                "sequencer" + std::to_string(round),
                                {{"JACK_DEFAULT_SERVER", server.Name()}}));
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(StartRunner(show, "runner" + std::to_string(round)));
        ASSERT_TRUE(WaitUntil(kPatience, [&] {
            return runner.Stderr().find("audio driver \"JACK\" running") != std::string::npos;
        })) << Output();
        std::this_thread::sleep_for(1s); // notes flow

        const std::chrono::milliseconds delay = kServerDelay[round];
        if (delay < 0ms) {
            server.Signal(SIGTERM);
            std::this_thread::sleep_for(-delay);
        }
        ASSERT_TRUE(runner.Signal(SIGTERM));
        if (delay >= 0ms) {
            std::this_thread::sleep_for(delay);
            server.Signal(SIGTERM);
        }
        const std::optional<int> code = runner.Wait(20s);
        ASSERT_TRUE(code.has_value()) << Output();
        EXPECT_EQ(*code, 0) << Output();
        std::ifstream ini(dir / "peldor.ini");
        const std::string settings((std::istreambuf_iterator<char>(ini)), {});
        EXPECT_NE(settings.find("[MRU]"), std::string::npos) << Output();
        server.Stop();
    }
}

} // namespace
} // namespace peldor::test
