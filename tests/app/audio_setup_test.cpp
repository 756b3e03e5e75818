// The audio settings dialog's operations over the running program with the real Dummy and
// "WAV file" drivers: what reaches the "ASIO" section, the engine's channel assignment, the
// host and the engine's rate, and the drivers' own settings pages.

#include "app/audio_setup.h"
#include "app/main_controller.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace peldor::test {
namespace {

using namespace std::chrono_literals;

constexpr int kDummy = 1;
constexpr int kWavFile = 2;

class AudioSetupTest : public ::testing::Test {
protected:
    AudioSetupTest() {
        SetRegistryFile(dir / "registry.ini");
        TMainController::InitializeProcess();
    }
    ~AudioSetupTest() override {
        setup.reset();
        controller.reset();
        for (int list = 0; list < kAudioChannelLists; ++list) {
            Field(list) = -1;
        }
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        SetRegistryFile(ResolveRegistryPath());
    }

    /// Starts the program on the settings file's text.
    TAudioSetup& Start(const std::string& text) {
        setup.reset();
        controller.reset();
        std::ofstream(ini) << text;
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{},
                                                         std::vector<std::string>{});
        };
        controller = std::make_unique<TMainController>(std::move(options));
        controller->Start();
        setup = std::make_unique<TAudioSetup>(*controller);
        return *setup;
    }

    static Relaxed<std::int32_t>& Field(int list) {
        TChannelAssignment& c = ChannelAssignment;
        Relaxed<std::int32_t>* fields[] = {&c.Input1,   &c.Input2,   &c.Input3,  &c.Input4,
                                           &c.OutMainL, &c.OutMainR, &c.OutMon1, &c.OutMon2,
                                           &c.OutSoloL, &c.OutSoloR};
        return *fields[list];
    }

    std::int32_t Stored(const char* key, const char* section = "ASIO") const {
        return TSettingsFile(ini).ReadInteger(section, key, -99);
    }

    /// The ten channel settings as stored, and checks that the engine uses the same.
    std::vector<std::int32_t> StoredChannels() const {
        std::vector<std::int32_t> values;
        for (int list = 0; list < kAudioChannelLists; ++list) {
            values.push_back(Stored(ChannelListKey(list)));
            EXPECT_EQ(static_cast<std::int32_t>(Field(list)), values.back())
                << ChannelListKey(list);
        }
        return values;
    }

    bool Runs() {
        controller->Idle();
        const std::uint64_t before = controller->BlocksProcessed();
        return WaitUntil(5s, [&] { return controller->BlocksProcessed() >= before + 2; });
    }

    TempDir dir{"peldor-audio-setup"};
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::unique_ptr<TMainController> controller;
    std::unique_ptr<TAudioSetup> setup;
};

TEST_F(AudioSetupTest, ANewDriverGetsItsChannelsLowestRateAndFirstClockAndStaysConfigured) {
    // Eight outputs: Main, Mon and Solo pairs on outputs 0-5; four inputs: one each. The Dummy
    // runs from 44100 Hz up: that is its lowest candidate.
    TAudioSetup& audio = Start("[Dummy]\nInputs=4\nOutputs=8\nSample rate=48000\n");
    ASSERT_FALSE(controller->DriverConfigured());
    audio.ChooseDriver(kDummy);
    EXPECT_EQ(Stored("Driver"), kDummy);
    EXPECT_EQ(StoredChannels(), (std::vector<std::int32_t>{0, 1, 2, 3, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Stored("Sample rate"), 44100);
    EXPECT_EQ(Stored("Clock source"), 0);
    EXPECT_FLOAT_EQ(controller->Processor()->SampleRate(), 44100.0f);
    EXPECT_EQ(audio.View().Rates.front().Candidate, 6);
    // Chosen in the dialog, the driver counts as configured: the idle handler keeps it running.
    EXPECT_TRUE(controller->DriverConfigured());
    EXPECT_TRUE(Runs());

    // Choosing it again changes nothing.
    audio.ChooseChannel(4, 1);
    audio.ChooseDriver(kDummy);
    EXPECT_EQ(Stored("OutMainL"), 1);
}

TEST_F(AudioSetupTest, TheLatencyIsWholeMillisecondsOfTheHostsBlockAndRate) {
    // 50000 Hz runs but is no candidate: shown as none and stored so.
    TAudioSetup& audio = Start("[ASIO]\nDriver=1\nSample rate=50000\n[Dummy]\nBuffer size=512\n");
    audio.ApplyStoredSettings();
    EXPECT_EQ(Stored("Sample rate"), -1);
    EXPECT_EQ(audio.LatencyText(), "10 ms");
    audio.ChooseRateAndClock(44100, 0);
    EXPECT_EQ(audio.LatencyText(), "11 ms");
    EXPECT_EQ(Stored("Sample rate"), 44100);
}

TEST_F(AudioSetupTest, ARateTheDriverRefusesGivesWayToTheDriversOwnRate) {
    // The Dummy runs from 44100 Hz: 32000 is refused, and it keeps its own 96000.
    TAudioSetup& audio = Start("[ASIO]\nDriver=1\nSample rate=32000\n[Dummy]\nSample rate=96000\n");
    EXPECT_DOUBLE_EQ(controller->Asio().SampleRate(), 96000.0);
    audio.ApplyStoredSettings();
    EXPECT_EQ(Stored("Sample rate"), 96000);
    const TAudioSettingsView view = audio.View();
    ASSERT_GE(view.Rate, 0);
    EXPECT_EQ(view.Rates[static_cast<std::size_t>(view.Rate)].Hz, 96000);
    EXPECT_FLOAT_EQ(controller->Processor()->SampleRate(), 96000.0f);
    EXPECT_EQ(controller->StatusPanels()[1], "96.000 kHz");
}

TEST_F(AudioSetupTest, ADriverChangeStopsTheHostAndRunsTheNewDriver) {
    const std::filesystem::path wav = dir / "out.wav";
    TAudioSetup& audio = Start("[ASIO]\nDriver=1\nOutMainL=0\nOutMainR=1\n[Dummy]\nInputs=2\n"
                               "Outputs=2\n[WAV file]\nPath=" +
                               wav.string() + "\nReal time=1\nChannels=6\n");
    ASSERT_TRUE(Runs());
    audio.ChooseDriver(kWavFile);
    EXPECT_EQ(controller->Asio().DriverName(), "WAV file");
    EXPECT_TRUE(controller->Asio().Active());
    EXPECT_EQ(Stored("Driver"), kWavFile);
    // No inputs at all; six outputs.
    EXPECT_EQ(StoredChannels(), (std::vector<std::int32_t>{-1, -1, -1, -1, 0, 1, 2, 3, 4, 5}));
    // The WAV file driver accepts 8000 Hz and up: 11025 is its lowest candidate.
    EXPECT_EQ(Stored("Sample rate"), 11025);
    EXPECT_TRUE(Runs());
    EXPECT_TRUE(std::filesystem::exists(wav));
}

TEST_F(AudioSetupTest, DriverSettingsPagesWriteTheirSectionAndReopenTheDriver) {
    TAudioSetup& audio = Start("[ASIO]\nDriver=1\nSample rate=44100\nOutMainL=0\nOutMainR=1\n"
                               "OutMon1=2\nOutMon2=3\n[Dummy]\nOutputs=4\nBuffer size=128\n"
                               "[WAV file]\nReal time=1\n");
    ASSERT_TRUE(Runs());
    std::optional<TDriverSettingsPage> page = audio.DriverSettings();
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->Section, "Dummy");
    std::vector<std::string> values;
    for (const TDriverSetting& setting : page->Settings) {
        values.push_back(setting.Value);
    }
    EXPECT_EQ(values, (std::vector<std::string>{"2", "4", "48000", "128"}));

    // Values out of range are refused and nothing is written.
    std::string error;
    EXPECT_FALSE(audio.ApplyDriverSettings({"2", "65", "48000", "128"}, error));
    EXPECT_EQ(error, "Outputs must be a whole number from 0 to 64.");
    EXPECT_FALSE(audio.ApplyDriverSettings({"2", "2", "48k", "128"}, error));
    EXPECT_EQ(Stored("Outputs", "Dummy"), 4);

    // Two outputs at 96000 Hz in blocks of 512: the monitors lose their outputs, the engine
    // follows the driver's new rate and block size, and the driver runs again.
    ASSERT_TRUE(audio.ApplyDriverSettings({"0", "2", "96000", "512"}, error)) << error;
    EXPECT_EQ(Stored("Outputs", "Dummy"), 2);
    EXPECT_EQ(Stored("Sample rate", "Dummy"), 96000);
    EXPECT_EQ(controller->Asio().OutputChannelCount(), 2);
    EXPECT_EQ(controller->Asio().InputChannelCount(), 0);
    EXPECT_EQ(StoredChannels(), (std::vector<std::int32_t>{-1, -1, -1, -1, 0, 1, -1, -1, -1, -1}));
    EXPECT_EQ(Stored("Sample rate"), 96000);
    EXPECT_FLOAT_EQ(controller->Processor()->SampleRate(), 96000.0f);
    EXPECT_EQ(controller->Processor()->BufferLength(), 512);
    EXPECT_EQ(audio.LatencyText(), "5 ms");
    EXPECT_TRUE(controller->Asio().Active());
    EXPECT_TRUE(Runs());

    // The WAV file page keeps the path as typed and stores the format as its bit count.
    audio.ChooseDriver(kWavFile);
    page = audio.DriverSettings();
    ASSERT_TRUE(page.has_value());
    ASSERT_EQ(page->Settings.size(), 4u);
    EXPECT_EQ(page->Settings[0].Value, "peldor.wav");
    ASSERT_TRUE(audio.ApplyDriverSettings({"take.wav", "4800", "3", "1"}, error)) << error;
    EXPECT_EQ(TSettingsFile(ini).ReadString("WAV file", "Path", ""), "take.wav");
    EXPECT_EQ(Stored("Format", "WAV file"), 32);
    EXPECT_EQ(controller->Asio().OutputChannelCount(), 3);
    EXPECT_FALSE(audio.ApplyDriverSettings({"", "0", "2", "0"}, error));
    EXPECT_FALSE(audio.ApplyDriverSettings({"a\nb.wav", "0", "2", "0"}, error));
}

TEST_F(AudioSetupTest, AJackDriverWithoutItsServerCanStillBeSetUp) {
    TAudioSetup& audio = Start("[JACK]\nServer=peldor-no-such-server\nOutputs=6\n");
    audio.ChooseDriver(0);
    EXPECT_EQ(controller->Asio().Driver(), nullptr);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, "ASIO Driver Failed!");
    EXPECT_EQ(Stored("Driver"), 0);
    EXPECT_EQ(StoredChannels(), std::vector<std::int32_t>(10, -1));
    EXPECT_EQ(Stored("Sample rate"), -1);
    EXPECT_TRUE(controller->DriverConfigured());
    EXPECT_TRUE(audio.View().Rates.empty());
    // The settings page is there to name the right server.
    const std::optional<TDriverSettingsPage> page = audio.DriverSettings();
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->Settings[0].Value, "peldor-no-such-server");
    EXPECT_EQ(page->Settings[3].Value, "6");
    std::string error;
    EXPECT_TRUE(audio.ApplyDriverSettings({"peldor-still-none", "Peldor", "0", "2", "0"}, error));
    EXPECT_EQ(TSettingsFile(ini).ReadString("JACK", "Server", ""), "peldor-still-none");
    EXPECT_EQ(controller->Asio().Driver(), nullptr);

    // Started before its server, the configured driver keeps its stored settings until the
    // server is there.
    TAudioSetup& early = Start("[ASIO]\nDriver=0\nSample rate=48000\nOutMainL=2\nOutMainR=3\n"
                               "[JACK]\nServer=peldor-no-such-server\n");
    ASSERT_EQ(controller->Asio().Driver(), nullptr);
    early.ApplyStoredSettings();
    EXPECT_EQ(Stored("OutMainL"), 2);
    EXPECT_EQ(Stored("OutMainR"), 3);
    EXPECT_EQ(Stored("Sample rate"), 48000);
    EXPECT_EQ(static_cast<std::int32_t>(ChannelAssignment.OutMainL), 2);
}

} // namespace
} // namespace peldor::test
