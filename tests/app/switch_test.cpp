// The performer's switches with the whole program running: a key held across a part or song
// change ends on the instrument that played it, and neither part changes nor a song change
// that puts another plugin into a slot leave a gap in the master output, whose steady test
// tone is recorded through the "WAV file" driver paced like a sound card.

#include "app/main_controller.h"
#include "engine/strip_table.h"
#include "midi/midi_devices.h"
#include "midi/short_message.h"
#include "midi/switching.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "tests/app/app_test_support.h"
#include "tests/app/switch_show.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace peldor::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 48000;
/// The gap measure: no window of this many frames (5 ms) may fall below half the tone's level.
constexpr std::size_t kGapWindow = kRate / 200;

/// The recorded master: the stretch of played frames before the silentTail ones at its end
/// is all in the file (a driver stopped and started again begins a new one), and no 5 ms
/// window of it falls below half the tone's level.
void ExpectNoGap(const std::filesystem::path& wav, std::uint64_t played, std::uint64_t silentTail) {
    WavData recorded;
    ASSERT_TRUE(ReadWav(wav, recorded));
    ASSERT_EQ(recorded.SampleRate, kRate);
    const std::vector<float>& master = recorded.Samples[0];
    ASSERT_GE(master.size(), played + silentTail) << "the driver was restarted";
    const std::size_t last = master.size() - silentTail;
    const std::size_t first = last - played;
    const auto rms = [&](std::size_t begin) {
        double sum = 0.0;
        for (std::size_t i = begin; i < begin + kGapWindow; ++i) {
            sum += static_cast<double>(master[i]) * master[i];
        }
        return std::sqrt(sum / kGapWindow);
    };
    const double tone = rms(first);
    ASSERT_GT(tone, 0.05);
    std::size_t quietWindows = 0;
    std::size_t firstQuiet = 0;
    for (std::size_t begin = first; begin + kGapWindow <= last; begin += kGapWindow / 5) {
        if (rms(begin) < tone / 2) {
            firstQuiet = quietWindows == 0 ? begin : firstQuiet;
            ++quietWindows;
        }
    }
    EXPECT_EQ(quietWindows, 0u) << "the first at frame " << firstQuiet - first << " of " << played;
}

class SwitchTest : public ::testing::Test {
protected:
    SwitchTest() {
        SetRegistryFile(dir / "registry.ini");
        synthA = CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynthA.so").string();
        synthB = CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynthB.so").string();
        TMainController::InitializeProcess();
    }
    ~SwitchTest() override {
        if (controller != nullptr) {
            controller->Shutdown();
        }
        controller.reset();
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        ChannelAssignment.OutMainL = -1;
        ChannelAssignment.OutMainR = -1;
        SetRegistryFile(ResolveRegistryPath());
    }

    /// Starts the program on the Dummy driver, or on the real-time "WAV file" driver writing
    /// to wav.
    TMainController& Start(bool recordToFile) {
        std::ofstream settings(dir / "peldor.ini");
        settings << "[ASIO]\nDriver=" << (recordToFile ? 2 : 1) << "\nSample rate=" << kRate
                 << "\nOutMainL=0\nOutMainR=1\n[Dummy]\nBuffer size=64\n"
                 << "[WAV file]\nPath=" << wav.string()
                 << "\nReal time=1\nFormat=32\nBuffer size=128\n";
        settings.close();
        TStartOptions options;
        options.IniPath = dir / "peldor.ini";
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [this]() -> std::unique_ptr<IMidiBackend> {
            auto backend = std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                                 std::vector<std::string>{});
            keyboard = backend.get();
            return backend;
        };
        controller = std::make_unique<TMainController>(std::move(options));
        controller->Start();
        return *controller;
    }

    std::int32_t CatalogueIndex(const std::string& path) const {
        for (std::size_t i = 0; i < InstrumentCatalogue.size(); ++i) {
            if (InstrumentCatalogue[i].LibraryFile == path) {
                return static_cast<std::int32_t>(i);
            }
        }
        return -1;
    }

    /// Songs given as the library of slot 0 and the parts' transpositions (see
    /// BuildSwitchShow).
    void Build(const std::vector<std::pair<std::string, std::vector<int>>>& songs) {
        std::vector<SwitchSong> show;
        for (const auto& [plugin, transpositions] : songs) {
            show.push_back({CatalogueIndex(plugin), transpositions});
        }
        BuildSwitchShow(*controller, show);
    }

    void Play(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        keyboard->Play(0, PackShortMessage(status, data1, data2));
    }

    /// Waits until the synth at path has received word.
    bool Received(const std::string& path, std::uint32_t word) {
        return WaitUntil(5s, [&] {
            const std::vector<std::uint32_t> log = SynthMidiLog(path);
            return std::find(log.begin(), log.end(), word) != log.end();
        });
    }

    /// Lets the driver run for a while.
    void Play(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            controller->Idle();
            controller->UITimerTimer();
            std::this_thread::sleep_for(10ms);
        }
    }

    /// The program on the real-time "WAV file" driver with the mixer's test tone, 440 Hz at
    /// half scale, straight into the master.
    void StartTone() {
        Start(true);
        StartTestTone(*controller);
    }

    /// Plays the tone, switches, plays on, shuts down and checks the recording.
    template <typename Switch> void RecordTone(Switch&& switches) {
        const std::uint64_t startFrames = controller->FramesProcessed();
        Play(300ms);
        switches();
        Play(300ms);
        // Shutting down clears the strips before it stops the driver: the end of the file is
        // silent by design.
        const std::uint64_t endFrames = controller->FramesProcessed();
        controller->Shutdown();
        StripTable.MixerSettings.oscactive = 0;
        ExpectNoGap(wav, endFrames - startFrames, controller->FramesProcessed() - endFrames);
    }

    TempDir dir;
    std::filesystem::path wav = dir / "master.wav";
    std::string synthA;
    std::string synthB;
    RecordingPresenter presenter;
    TVirtualMidiBackend* keyboard = nullptr;
    std::unique_ptr<TMainController> controller;
};

TEST_F(SwitchTest, AKeyHeldAcrossPartAndSongChangesEndsOnTheNoteThatSounds) {
    Start(false);
    ASSERT_GE(CatalogueIndex(synthA), 0);
    Build({{synthA, {0, 12}}, {synthA, {-12}}});
    ResetSynthMidiLog(synthA);

    Play(0x90, 60, 100);
    ASSERT_TRUE(Received(synthA, PackShortMessage(0x90, 60, 100)));
    NextPart();
    Play(0x80, 60, 0);
    EXPECT_TRUE(Received(synthA, PackShortMessage(0x80, 60, 0)));

    Play(0x90, 62, 100);
    ASSERT_TRUE(Received(synthA, PackShortMessage(0x90, 74, 100)));
    NextSong();
    ASSERT_EQ(CurrentSong, 1);
    Play(0x90, 62, 0);
    EXPECT_TRUE(Received(synthA, PackShortMessage(0x90, 74, 0)));

    const std::vector<std::uint32_t> log = SynthMidiLog(synthA);
    for (std::uint32_t word : log) {
        const TShortMessage message = UnpackShortMessage(word);
        EXPECT_FALSE((message.Status & kCommandMask) == kNoteOff &&
                     (message.Data1 == 72 || message.Data1 == 50))
            << "a note-off for a key that never sounded: " << std::hex << word;
    }
}

TEST_F(SwitchTest, PartChangesLeaveNoGap) {
    StartTone();
    Build({{synthA, {0, 12, 7}}});
    RecordTone([&] {
        NextPart();
        Play(200ms);
        NextPart();
    });
}

TEST_F(SwitchTest, ASongChangeThatLoadsAnotherPluginLeavesNoGap) {
    StartTone();
    ASSERT_GE(CatalogueIndex(synthB), 0);
    Build({{synthA, {0}}, {synthB, {0}}});
    RecordTone([&] {
        NextSong();
        EXPECT_EQ(CurrentSong, 1);
        const TVstPlugIn* after = controller->Slots().PluginInSlot(0);
        ASSERT_NE(after, nullptr);
        EXPECT_EQ(after->DLLFileName(), synthB);
    });
}

} // namespace
} // namespace peldor::test
