// The main window's duties without the window: start-up and its settings, the driver and the
// idle handler, the project actions with the recent files and the menu, and the shut-down order.

#include "app/main_controller.h"
#include "app/show_builder.h"
#include "engine/block_handshake.h"
#include "midi/virtual_midi_backend.h"
#include "plugins/host_callback.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/registry_file.h"
#include "project/project_model.h"
#include "tests/app/app_test_support.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace peldor::test {
namespace {

std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitUntilBlocks(TMainController& main, std::uint64_t blocks) {
    return WaitUntil(std::chrono::seconds(5), [&] { return main.BlocksProcessed() >= blocks; });
}

class MainControllerTest : public ::testing::Test {
protected:
    MainControllerTest() {
        SetRegistryFile(dir / "registry.ini");
        CopyTestPlugin("PeldorSynth", dir / "plugins", "PeldorSynth.so");
        TMainController::InitializeProcess();
    }
    ~MainControllerTest() override {
        controller.reset();
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        for (auto* channel : {&ChannelAssignment.OutMainL, &ChannelAssignment.OutMainR,
                              &ChannelAssignment.OutMon1, &ChannelAssignment.OutMon2,
                              &ChannelAssignment.OutSoloL, &ChannelAssignment.OutSoloR}) {
            *channel = -1;
        }
        SetRegistryFile(ResolveRegistryPath());
    }

    TStartOptions Options() {
        TStartOptions options;
        options.IniPath = ini;
        options.PluginFolder = (dir / "plugins").string();
        options.SplashStatusDelayMs = 0;
        options.MidiBackend = [] {
            return std::make_unique<TVirtualMidiBackend>(std::vector<std::string>{"keys"},
                                                         std::vector<std::string>{});
        };
        options.Trace = [this](const std::string& step) { trace.push_back(step); };
        return options;
    }

    TMainController& Start(TStartOptions options) {
        controller = std::make_unique<TMainController>(std::move(options));
        controller->Start();
        return *controller;
    }

    /// Writes a one-song show using the scanned synth.
    std::filesystem::path Show(const std::string& name) {
        const std::filesystem::path path = dir / name;
        std::string error;
        TShowDescription show;
        show.Parts = {{"first", 0}, {"second", 12}};
        EXPECT_TRUE(WriteShowFile(path, show, error)) << error;
        return path;
    }

    TempDir dir;
    std::filesystem::path ini = dir / "peldor.ini";
    RecordingPresenter presenter;
    std::vector<std::string> trace;
    std::unique_ptr<TMainController> controller;
};

TEST_F(MainControllerTest, AFirstStartHasDefaultsNoDriverAndWritesItsSettingsAtTheEnd) {
    TMainController& main = Start(Options());
    EXPECT_EQ(main.LanguageCode(), 1033);
    EXPECT_FALSE(main.DriverConfigured());
    EXPECT_EQ(main.Caption(), "PELDOR");
    const auto& panels = main.StatusPanels();
    EXPECT_TRUE(panels[3] == "SSE" || panels[3] == "x87");
    EXPECT_TRUE(panels[1].empty());
    EXPECT_TRUE(panels[2].empty());
    EXPECT_EQ(InstrumentCatalogue.size(), 1u);
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(SlotMap[static_cast<std::size_t>(slot)], -1);
    }
    const TMenuState& menu = main.MenuState();
    EXPECT_FALSE(menu.Close || menu.Save || menu.SaveAs || menu.Mixers || menu.Cut);
    EXPECT_EQ(menu.RecentCaption[0], "Last project 1");
    EXPECT_FALSE(menu.RecentEnabled[0]);
    main.Idle();
    EXPECT_FALSE(main.Asio().Active());

    trace.clear();
    main.Shutdown();
    EXPECT_EQ(trace, (std::vector<std::string>{
                         "shut-down: settings written",
                         "shut-down: MIDI devices stopped and closed",
                         "shut-down: current strips cleared",
                         "shut-down: driver stopped",
                         "shut-down: workers stopped, plugins closed and unloaded",
                         "shut-down: engine and project destroyed",
                         "shut-down: audio host and plugin host released",
                     }));
    const std::string settings = Contents(ini);
    EXPECT_NE(settings.find("State = 2"), std::string::npos) << settings;
    EXPECT_NE(settings.find("Width = 400"), std::string::npos);
    EXPECT_NE(settings.find("Language = 1033"), std::string::npos);
    EXPECT_NE(settings.find("File4 ="), std::string::npos);
}

// What a plugin asking for the time and the rate hears: the host's 44100 while no driver runs,
// then the rate the driver really runs at, or every note would sound off pitch.
TEST_F(MainControllerTest, PluginsHear44100WithoutADriverAndTheDriversRateOnceItRuns) {
    auto timeRecordRate = [] {
        const auto* time = reinterpret_cast<const vst2::VstTimeInfo*>(
            HostCallback(nullptr, vst2::audioMasterGetTime, 0, 0, nullptr, 0.0f));
        return time != nullptr ? time->sampleRate : -1.0;
    };
    auto askedRate = [] {
        return HostCallback(nullptr, vst2::audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
    };
    {
        TMainController& main = Start(Options());
        main.Idle();
        ASSERT_FALSE(main.Asio().Active());
        EXPECT_DOUBLE_EQ(timeRecordRate(), 44100.0);
        EXPECT_EQ(askedRate(), 44100);
        main.Shutdown();
        controller.reset();
    }

    std::ofstream(ini) << "[ASIO]\nDriver=1\nSample rate=48000\n[Dummy]\nSample rate=48000\n"
                          "Buffer size=128\n";
    TMainController& main = Start(Options());
    main.Idle();
    ASSERT_TRUE(main.Asio().Active());
    ASSERT_TRUE(WaitUntilBlocks(main, 2));
    EXPECT_DOUBLE_EQ(timeRecordRate(), 48000.0);
    EXPECT_EQ(askedRate(), 48000);
    // A plugin loaded now is opened at that rate too, and a rate change reaches both.
    ASSERT_TRUE(main.OpenProject(Show("show.pdp")));
    EXPECT_DOUBLE_EQ(timeRecordRate(), 48000.0);
    main.Asio().SetSampleRate(96000.0);
    main.ASIOSampleRateChanged();
    main.Idle();
    EXPECT_DOUBLE_EQ(timeRecordRate(), 96000.0);
    EXPECT_EQ(askedRate(), 96000);
}

TEST_F(MainControllerTest, UnknownLanguageCodesMeanEnglish) {
    std::ofstream(ini) << "[General]\nLanguage=2057\n";
    EXPECT_EQ(Start(Options()).LanguageCode(), 1033);
    controller.reset();
    std::ofstream(ini) << "[General]\nLanguage=1031\n[MRU]\nFile1=/shows/a.pdp\n";
    TMainController& main = Start(Options());
    EXPECT_EQ(main.LanguageCode(), 1031);
    EXPECT_EQ(main.RecentFiles()[0], "/shows/a.pdp");
    EXPECT_EQ(main.MenuState().RecentCaption[0], "a.pdp");
    EXPECT_EQ(main.MenuState().RecentHint[0], "/shows/a.pdp");
    EXPECT_TRUE(main.MenuState().RecentEnabled[0]);
}

TEST_F(MainControllerTest, ProjectActionsKeepTheRecentFilesAndTheMenuInStep) {
    TMainController& main = Start(Options());
    const std::filesystem::path a = Show("a.pdp");
    const std::filesystem::path b = Show("b.pdp");
    const std::filesystem::path c = Show("c.pdp");

    main.NewProject();
    ASSERT_NE(ActiveProject(), nullptr);
    EXPECT_EQ(ActiveProject()->SongCount(), 1);
    EXPECT_EQ(ActiveProject()->SongAt(0)->PartCount(), 1);
    EXPECT_EQ(ActiveProject()->SongAt(0)->Name, "new song");
    EXPECT_NE(CurrentStrips.load(), nullptr);
    EXPECT_TRUE(main.MenuState().SaveAs);
    EXPECT_FALSE(main.MenuState().Save); // until a save-as names the file
    EXPECT_FALSE(main.SaveProject());
    const std::filesystem::path saved = dir / "saved.pdp";
    EXPECT_TRUE(main.SaveProjectAs(saved));
    EXPECT_TRUE(main.MenuState().Save);
    EXPECT_EQ(main.Caption(), "PELDOR - saved.pdp");
    EXPECT_TRUE(main.RecentFiles()[0].empty()); // saving does not touch the list
    EXPECT_TRUE(main.SaveProject());

    EXPECT_TRUE(main.OpenProject(a));
    EXPECT_TRUE(main.OpenProject(b));
    EXPECT_TRUE(main.OpenProject(c));
    EXPECT_EQ(main.RecentFiles()[0], c.string());
    EXPECT_EQ(main.RecentFiles()[2], a.string());
    EXPECT_TRUE(main.OpenProject(c)); // already entry 0: unchanged
    EXPECT_EQ(main.RecentFiles()[1], b.string());
    EXPECT_TRUE(main.OpenProject(a)); // entry 2 comes to the front, its old copy stays below
    EXPECT_EQ(main.RecentFiles(),
              (std::array<std::string, 4>{a.string(), c.string(), b.string(), a.string()}));
    EXPECT_EQ(main.Caption(), "PELDOR - a.pdp");
    // The opened show's instrument is in its slot and its first part is current.
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentPart, 0);
    ASSERT_NE(main.Slots().PluginInSlot(0), nullptr);
    EXPECT_TRUE(main.Slots().PluginInSlot(0)->Active());

    // A recent file opens without changing the list.
    EXPECT_TRUE(main.OpenRecentFile(2));
    EXPECT_EQ(main.Caption(), "PELDOR - b.pdp");
    EXPECT_EQ(main.RecentFiles()[0], a.string());
    main.Shutdown();
    EXPECT_NE(Contents(ini).find("File1 = " + a.string()), std::string::npos);
}

TEST_F(MainControllerTest, AFileThatCannotBeReadLeavesTheOpenProjectAlone) {
    TMainController& main = Start(Options());
    const std::filesystem::path good = Show("good.pdp");
    ASSERT_TRUE(main.OpenProject(good));
    TProject* before = ActiveProject();
    const std::filesystem::path damaged = dir / "damaged.pdp";
    std::ofstream(damaged) << "not a project";
    presenter.boxes.clear();

    EXPECT_FALSE(main.OpenProject(damaged));
    EXPECT_FALSE(main.OpenProject(dir / "missing.pdp"));
    EXPECT_EQ(ActiveProject(), before);
    EXPECT_NE(main.Slots().PluginInSlot(0), nullptr);
    ASSERT_EQ(presenter.boxes.size(), 2u);
    EXPECT_NE(presenter.boxes[0].text.find("damaged.pdp"), std::string::npos);
    EXPECT_EQ(main.RecentFiles()[0], good.string());
    EXPECT_EQ(main.Caption(), "PELDOR - good.pdp");

    // A recent file that went away closes the project first and leaves a new, empty one.
    main.AddRecentFile((dir / "missing.pdp").string());
    EXPECT_FALSE(main.OpenRecentFile(0));
    ASSERT_NE(ActiveProject(), nullptr);
    EXPECT_EQ(ActiveProject()->SongCount(), 0);
    EXPECT_EQ(SlotMap[0], -1);
}

TEST_F(MainControllerTest, ClosingAProjectUnloadsTheSlotPluginsAndRestartsTheDriver) {
    std::ofstream(ini) << "[ASIO]\nDriver=1\nSample rate=48000\n[Dummy]\nBuffer size=128\n";
    TMainController& main = Start(Options());
    ASSERT_TRUE(main.OpenProject(Show("show.pdp")));
    main.Idle();
    ASSERT_TRUE(main.Asio().Active());
    TVstPlugIn* plugin = main.Slots().PluginInSlot(0);
    ASSERT_NE(plugin, nullptr);

    main.CloseProject();
    EXPECT_EQ(ActiveProject(), nullptr);
    EXPECT_EQ(CurrentStrips.load(), nullptr);
    EXPECT_EQ(SlotMap[0], -1);
    EXPECT_FALSE(plugin->Active());
    EXPECT_TRUE(plugin->DLLFileName().empty());
    EXPECT_TRUE(main.Asio().Active());
    EXPECT_EQ(main.Caption(), "PELDOR");
    EXPECT_FALSE(main.MenuState().Close);
}

// Blocks that last 150 ms, as a heavy instrument on a loaded machine makes them: a strip table
// freed after a fixed pause would still be read and written (meters) by the block that loaded
// it. AddressSanitizer sees that; the counters see that the block had not ended.
TEST_F(MainControllerTest, TablesAreFreedOnlyAfterTheBlockThatMayHoldThemHasEnded) {
    std::ofstream(ini) << "[ASIO]\nDriver=1\nSample rate=48000\n[Dummy]\nBuffer size=128\n";
    TMainController& main = Start(Options());
    auto openAndPlay = [&] {
        ASSERT_TRUE(main.OpenProject(Show("show.pdp")));
        main.Idle();
        ASSERT_TRUE(main.Asio().Active());
        ASSERT_TRUE(main.EnterPart(0, 0));
        ASSERT_TRUE(WaitUntilBlocks(main, main.BlocksProcessed() + 2));
        TVstPlugIn* plugin = main.Slots().PluginInSlot(0);
        ASSERT_NE(plugin, nullptr);
        SetBlockDelay(plugin->DLLFileName(), 150);
        // Let a slow block begin with the first part's table.
        const std::uint64_t started = BlocksStarted();
        ASSERT_TRUE(WaitUntil(std::chrono::seconds(5), [&] { return BlocksStarted() > started; }));
    };
    // Every block that had started when the action began has ended when it returns.
    auto leavesNoBlockBehind = [](auto action) {
        const std::uint64_t started = BlocksStarted();
        action();
        return BlocksFinished() >= started;
    };

    openAndPlay();
    // A part that was current a moment ago is deleted: its table is no longer CurrentStrips,
    // but the running block loaded it.
    ASSERT_TRUE(main.EnterPart(0, 1));
    EXPECT_TRUE(leavesNoBlockBehind([] { ActiveProject()->SongAt(0)->DeletePart(0); }));
    ASSERT_TRUE(main.EnterPart(0, 0));
    EXPECT_TRUE(leavesNoBlockBehind([&] { main.CloseProject(); }));
    ASSERT_EQ(ActiveProject(), nullptr);

    // The program ends with a project open and the driver running, as the headless runner
    // does: the project goes first, while blocks still run.
    openAndPlay();
    EXPECT_TRUE(leavesNoBlockBehind([&] { main.ExitApp(); }));
    EXPECT_EQ(ActiveProject(), nullptr);
    main.Shutdown();
    EXPECT_EQ(BlocksStarted(), BlocksFinished());
}

TEST_F(MainControllerTest, TheConfiguredDriverRunsAtARateItCanDoAndTheEngineFollowsIt) {
    // The Dummy driver cannot run at 22050 Hz: the engine keeps the driver's own rate rather
    // than playing every note at the wrong pitch.
    std::ofstream(ini) << "[ASIO]\nDriver=1\nSample rate=22050\n[Dummy]\nSample rate=48000\n"
                          "Buffer size=128\n";
    TStartOptions options = Options();
    options.DefaultOutputs = true;
    TMainController& main = Start(std::move(options));
    EXPECT_TRUE(main.DriverConfigured());
    EXPECT_EQ(main.Asio().DriverName(), "Dummy");
    EXPECT_EQ(main.Asio().SampleRate(), 48000.0);
    ASSERT_NE(main.Processor(), nullptr);
    EXPECT_EQ(main.Processor()->SampleRate(), 48000.0f);
    EXPECT_EQ(main.Processor()->BufferLength(), 128);
    EXPECT_EQ(ChannelAssignment.OutMainL, 0);
    EXPECT_EQ(ChannelAssignment.OutSoloR, 5);
    EXPECT_FALSE(main.Asio().Active());
    main.Idle(); // the first idle moment starts the driver
    EXPECT_TRUE(main.Asio().Active());
    EXPECT_TRUE(WaitUntilBlocks(main, 4));

    // A rate notification from another thread is carried out by the window thread.
    main.Asio().SetSampleRate(96000.0);
    std::thread([&main] { main.ASIOSampleRateChanged(); }).join();
    EXPECT_EQ(main.Processor()->SampleRate(), 48000.0f);
    main.Idle();
    EXPECT_EQ(main.Processor()->SampleRate(), 96000.0f);
    EXPECT_EQ(main.StatusPanels()[1], "96.000 kHz");
    EXPECT_EQ(main.StatusPanels()[2], "32 bit FP");
}

TEST_F(MainControllerTest, TheDriverNamedOnTheCommandLineReplacesTheSettingsIndex) {
    std::ofstream(ini) << "[ASIO]\nDriver=-1\nOutMainL=3\n";
    TStartOptions options = Options();
    options.DriverName = "Dummy";
    options.SampleRate = 96000.0;
    options.DefaultOutputs = true;
    TMainController& main = Start(std::move(options));
    EXPECT_TRUE(main.DriverConfigured());
    EXPECT_EQ(main.Asio().DriverName(), "Dummy");
    EXPECT_EQ(main.Asio().SampleRate(), 96000.0);
    // An assignment in the settings is kept as it is.
    EXPECT_EQ(ChannelAssignment.OutMainL, 3);
    EXPECT_EQ(ChannelAssignment.OutMainR, -1);
    main.Shutdown();
    EXPECT_EQ(TSettingsFile(ini).ReadInteger("ASIO", "Driver", 0), -1);
}

} // namespace
} // namespace peldor::test
