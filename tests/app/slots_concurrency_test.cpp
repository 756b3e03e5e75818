// Plugins are put into and taken out of slots while the driver plays and a MIDI thread routes
// notes to the instrument slot: no buffer may meet a plugin that is being replaced, no routed
// note may reach a freed queue, and the audio keeps running.

#include "app/main_controller.h"
#include "engine/strip_table.h"
#include "midi/midi_devices.h"
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

#include <atomic>
#include <fstream>
#include <thread>

namespace peldor::test {
namespace {

TEST(SlotsWhilePlaying, PluginsAreReplacedWhileTheDriverRunsAndMidiIsRouted) {
    RecordingPresenter presenter;
    TempDir dir;
    SetRegistryFile(dir / "registry.ini");
    CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
    CopyTestPlugin("PeldorGain", dir / "plugins", "PeldorGain.so");
    std::ofstream(dir / "peldor.ini") << "[ASIO]\nDriver=1\nSample rate=48000\nOutMainL=0\n"
                                         "OutMainR=1\n[Dummy]\nBuffer size=64\n";
    TMainController::InitializeProcess();

    TVirtualMidiBackend* keyboard = nullptr;
    TStartOptions options;
    options.IniPath = dir / "peldor.ini";
    options.PluginFolder = (dir / "plugins").string();
    options.SplashStatusDelayMs = 0;
    options.MidiBackend = [&keyboard]() -> std::unique_ptr<IMidiBackend> {
        auto backend = std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                             std::vector<std::string>{});
        keyboard = backend.get();
        return backend;
    };
    auto main = std::make_unique<TMainController>(std::move(options));
    main->Start();
    ASSERT_NE(keyboard, nullptr);
    ASSERT_EQ(InstrumentCatalogue.size(), 1u);
    ASSERT_EQ(EffectCatalogue.size(), 1u);

    main->NewProject();
    TPart* part = ActiveProject()->CurrentPartObject();
    ASSERT_NE(part, nullptr);
    TConnection* connection = part->AddConnection();
    connection->SetInPort(0);
    connection->InChannel = kOmniChannel;
    connection->SetOutPort(kFirstInstrumentPort);
    (*part->Strips)[kFirstInstrumentStrip].Level = 1.0f;
    (*part->Strips)[kMasterStrip].Level = 1.0f;
    SetMidiInputSelected(0, true);
    OpenSelectedDevices();
    main->Idle();
    ASSERT_TRUE(main->Asio().Active());

    std::atomic<bool> stop{false};
    std::atomic<int> played{0};
    std::thread midi([&] {
        // The platform's MIDI input thread: notes on and off as fast as a keyboard can.
        std::uint8_t note = 48;
        while (!stop.load()) {
            keyboard->Play(0, 0x90u | (static_cast<std::uint32_t>(note) << 8) | (100u << 16));
            keyboard->Play(0, 0x80u | (static_cast<std::uint32_t>(note) << 8));
            note = static_cast<std::uint8_t>(48 + (note - 47) % 24);
            played.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });

    TPluginSlots& slots = main->Slots();
    constexpr int kRounds = 13;
    for (int round = 0; round < kRounds; ++round) {
        const std::uint64_t blocks = main->BlocksProcessed();
        slots.ChooseInstrument(0, 0);
        slots.ChooseEffect(16, 0);
        if (round % 3 == 2) {
            slots.ChooseInstrument(0, -1);
            slots.ChooseEffect(16, -1);
        }
        main->UITimerTimer();
        main->Idle();
        // The driver runs between the changes.
        EXPECT_TRUE(WaitUntil(std::chrono::seconds(10),
                              [&] { return main->BlocksProcessed() > blocks + 2; }))
            << "round " << round;
    }
    stop.store(true);
    midi.join();
    EXPECT_GT(played.load(), 0);
    ASSERT_NE(slots.PluginInSlot(0), nullptr);
    EXPECT_TRUE(slots.PluginInSlot(0)->Active());
    main->Shutdown();
    main.reset();
    InstrumentCatalogue.clear();
    EffectCatalogue.clear();
    ChannelAssignment.OutMainL = -1;
    ChannelAssignment.OutMainR = -1;
    SetRegistryFile(ResolveRegistryPath());
}

// Two songs with different instruments in slot 1 and a steady MIDI stream: fifty song changes
// replace the plugin while the driver runs; every change lets blocks through, the driver never
// stops, and the old plugin is unloaded only once no block renders it.
TEST(SlotsWhilePlaying, SongsChangeFiftyTimesUnderAMidiStreamWithoutStoppingTheDriver) {
    RecordingPresenter presenter;
    TempDir dir;
    SetRegistryFile(dir / "registry.ini");
    const std::string first =
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynthA.so").string();
    const std::string second =
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynthB.so").string();
    std::ofstream(dir / "peldor.ini") << "[ASIO]\nDriver=1\nSample rate=48000\nOutMainL=0\n"
                                         "OutMainR=1\n[Dummy]\nBuffer size=64\n";
    TMainController::InitializeProcess();

    TVirtualMidiBackend* keyboard = nullptr;
    TStartOptions options;
    options.IniPath = dir / "peldor.ini";
    options.PluginFolder = (dir / "plugins").string();
    options.SplashStatusDelayMs = 0;
    options.MidiBackend = [&keyboard]() -> std::unique_ptr<IMidiBackend> {
        auto backend = std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                             std::vector<std::string>{});
        keyboard = backend.get();
        return backend;
    };
    auto main = std::make_unique<TMainController>(std::move(options));
    main->Start();
    ASSERT_EQ(InstrumentCatalogue.size(), 2u);

    BuildSwitchShow(*main, {{0, {0}}, {1, {0}}});

    std::atomic<bool> stop{false};
    std::thread midi([&] {
        std::uint8_t note = 48;
        while (!stop.load()) {
            keyboard->Play(0, 0x90u | (static_cast<std::uint32_t>(note) << 8) | (100u << 16));
            keyboard->Play(0, 0xB0u | (64u << 8) | (127u << 16));
            keyboard->Play(0, 0x80u | (static_cast<std::uint32_t>(note) << 8));
            keyboard->Play(0, 0xB0u | (64u << 8));
            note = static_cast<std::uint8_t>(48 + (note - 47) % 24);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });

    constexpr int kChanges = 50;
    for (int change = 0; change < kChanges; ++change) {
        const std::uint64_t blocks = main->BlocksProcessed();
        NextSong();
        EXPECT_TRUE(main->Asio().Active()) << "change " << change;
        TVstPlugIn* plugin = main->Slots().PluginInSlot(0);
        ASSERT_NE(plugin, nullptr) << "change " << change;
        EXPECT_EQ(plugin->DLLFileName(), change % 2 == 0 ? second : first);
        EXPECT_EQ(main->Vst().SlotPlugin(0), plugin);
        main->UITimerTimer();
        EXPECT_TRUE(WaitUntil(std::chrono::seconds(10),
                              [&] { return main->BlocksProcessed() > blocks + 2; }))
            << "change " << change;
    }
    stop.store(true);
    midi.join();
    // Every replaced plugin was closed: one instance of each library at most is left.
    EXPECT_LE(LiveInstances(first) + LiveInstances(second), 1);
    EXPECT_TRUE(main->Slots().SlotProblem(0).empty()) << main->Slots().SlotProblem(0);
    main->Shutdown();
    main.reset();
    InstrumentCatalogue.clear();
    EffectCatalogue.clear();
    ChannelAssignment.OutMainL = -1;
    ChannelAssignment.OutMainR = -1;
    SetRegistryFile(ResolveRegistryPath());
}

} // namespace
} // namespace peldor::test
