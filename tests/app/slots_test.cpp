// The plugin slots with the real test plugins: what the loaders do to SlotMap and the plugin
// collection, what they publish to the engine, failed loads, shell effects, and plugin state
// captured and applied through the project model.

#include "engine/event_queue.h"
#include "engine/processor.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/plugin_scan.h"
#include "plugins/slots.h"
#include "plugins/vst_host.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "tests/plugins/plugin_test_support.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace peldor::test {
namespace {

/// The driver as the loaders see it; remembers every switch.
class FakeDriver final : public ISlotDriver {
public:
    bool DriverActive() override { return active; }
    void SetDriverActive(bool value) override {
        switches.push_back(value);
        active = value;
    }
    std::int32_t DriverBufferSize() override { return bufferSize; }
    double DriverSampleRate() override { return sampleRate; }

    bool active = true;
    std::vector<bool> switches;
    std::int32_t bufferSize = 256;
    double sampleRate = 48000.0;
};

std::int32_t IndexOf(const TPluginCatalogue& catalogue, const std::string& name) {
    for (std::size_t i = 0; i < catalogue.size(); ++i) {
        if (catalogue[i].PluginName == name) {
            return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

class SlotsTest : public ::testing::Test {
protected:
    SlotsTest() {
        for (const char* name : {"PeldorSynth", "PeldorGain", "PeldorShell"}) {
            CopyTestPlugin(name, folder.Path(), std::string(name) + ".so");
        }
        for (auto& entry : SlotMap) {
            entry = -1;
        }
        slots.CreateVstHost(driver.bufferSize);
        ScanPluginFolder(host, folder.Path().string());
        synth = IndexOf(InstrumentCatalogue, "Peldor Synth");
        gain = IndexOf(EffectCatalogue, "Peldor Gain");
        shellFirst = IndexOf(EffectCatalogue, "Shell Alpha");
        // Entries that no longer load: a library without magic, a file that went away.
        PlgListRecord broken;
        broken.PluginName = "Broken";
        broken.LibraryFile = TestPlugin("WrongMagic");
        wrongMagic = static_cast<std::int32_t>(InstrumentCatalogue.size());
        InstrumentCatalogue.push_back(broken);
        broken.PluginName = "Gone";
        broken.LibraryFile = (folder / "gone.so").string();
        gone = static_cast<std::int32_t>(InstrumentCatalogue.size());
        InstrumentCatalogue.push_back(broken);
        CreateProject();
        ProjectLinks.Slots = &slots;
    }
    ~SlotsTest() override {
        ProjectLinks.Slots = nullptr;
        DestroyProject();
        slots.UnloadAllPlugins();
        InstrumentCatalogue.clear();
        EffectCatalogue.clear();
        for (auto& entry : SlotMap) {
            entry = -1;
        }
    }

    TVstPlugIn* InSlot(std::int32_t slot) { return slots.PluginInSlot(slot); }

    RecordingPresenter presenter;
    TempDir folder;
    TVstHost host;
    FakeDriver driver;
    TPluginSlots slots{host, driver, nullptr};
    std::int32_t synth = -1, gain = -1, shellFirst = -1, wrongMagic = -1, gone = -1;
};

TEST_F(SlotsTest, LoadersOpenPluginsBehindThePlaceholdersWithoutStoppingTheDriver) {
    ASSERT_GE(synth, 0);
    ASSERT_GE(gain, 0);
    ASSERT_EQ(host.VstPlugIns().Count(), 20);
    WantsMidi = false;

    slots.LoadInstrumentSlot(0, synth);
    EXPECT_EQ(SlotMap[0], 20);
    ASSERT_NE(InSlot(0), nullptr);
    EXPECT_TRUE(InSlot(0)->Active());
    EXPECT_TRUE(WantsMidi); // the synth asks for MIDI while it opens
    EXPECT_TRUE(driver.switches.empty());
    EXPECT_EQ(host.SlotPlugin(0), InSlot(0)) << "published to the engine";
    ASSERT_NE(slots.SlotWindow(0), nullptr);
    EXPECT_EQ(slots.SlotWindow(0)->Caption(), "[VSTi 1] Peldor Synth");
    EXPECT_EQ(InSlot(0)->EditorWindow(), slots.SlotWindow(0));

    driver.switches.clear();
    slots.LoadEffectSlot(16, gain);
    EXPECT_EQ(SlotMap[16], 21);
    EXPECT_EQ(slots.SlotWindow(16)->Caption(), "[VST 1] Peldor Gain");
    EXPECT_TRUE(driver.switches.empty());
    EXPECT_EQ(host.SlotPlugin(16), InSlot(16));

    // A driver that was off stays off: the loader does not start what nobody started.
    driver.active = false;
    driver.switches.clear();
    slots.LoadInstrumentSlot(5, synth);
    EXPECT_FALSE(driver.active);
    EXPECT_EQ(SlotMap[5], 22);

    // The driver's format reaches the slot plugins.
    driver.sampleRate = 96000.0;
    driver.bufferSize = 512;
    ResetOpcodeLog(InSlot(0)->DLLFileName());
    slots.ApplyDriverFormat();
    const std::vector<int> log = OpcodeLog(InSlot(0)->DLLFileName());
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effSetSampleRate), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), vst2::effSetBlockSize), log.end());
    EXPECT_EQ(host.BlockSize(), 512);

    // Out of range, in the wrong kind of slot, or without a project: nothing happens.
    driver.switches.clear();
    slots.LoadInstrumentSlot(16, synth);
    slots.LoadEffectSlot(3, gain);
    slots.LoadInstrumentSlot(1, static_cast<std::int32_t>(InstrumentCatalogue.size()));
    slots.LoadEffectSlot(17, static_cast<std::int32_t>(EffectCatalogue.size()));
    DestroyProject();
    slots.LoadInstrumentSlot(2, synth);
    EXPECT_EQ(SlotMap[1], -1);
    EXPECT_EQ(SlotMap[2], -1);
    EXPECT_EQ(SlotMap[17], -1);
    EXPECT_TRUE(driver.switches.empty());
}

TEST_F(SlotsTest, ReplacingAndEmptyingRenumberTheOtherSlotsAndSwapWhatTheEngineRenders) {
    slots.LoadInstrumentSlot(0, synth);
    slots.LoadInstrumentSlot(1, synth);
    slots.LoadEffectSlot(16, gain);
    TVstPlugIn* second = InSlot(1);
    TVstPlugIn* effect = InSlot(16);
    ASSERT_EQ(SlotMap[1], 21);
    ASSERT_EQ(SlotMap[16], 22);

    // The old plugin's editor closes first, while the engine still renders it; the new one
    // takes its place only once it is open.
    TVstPlugIn* old = InSlot(0);
    IEnginePlugin* renderedAtClose = nullptr;
    old->OnCloseEdit = [&](TVstPlugIn&) { renderedAtClose = host.SlotPlugin(0); };
    driver.switches.clear();
    slots.LoadInstrumentSlot(0, synth);
    EXPECT_EQ(renderedAtClose, old);
    EXPECT_TRUE(driver.switches.empty());
    // The old object is gone; the others moved down and still name the same plugins.
    EXPECT_EQ(host.VstPlugIns().Count(), 23);
    EXPECT_EQ(SlotMap[1], 20);
    EXPECT_EQ(SlotMap[16], 21);
    EXPECT_EQ(SlotMap[0], 22);
    EXPECT_EQ(InSlot(1), second);
    EXPECT_EQ(InSlot(16), effect);
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        EXPECT_EQ(host.SlotPlugin(slot), InSlot(slot)) << slot;
    }

    // Emptying an empty slot touches nothing, not even the driver.
    driver.switches.clear();
    slots.LoadInstrumentSlot(7, -1);
    EXPECT_TRUE(driver.switches.empty());

    const int synthsBefore = LiveInstances(InSlot(1)->DLLFileName());
    slots.LoadInstrumentSlot(1, -1);
    EXPECT_TRUE(driver.switches.empty());
    EXPECT_EQ(host.SlotPlugin(1), nullptr);
    EXPECT_EQ(host.SlotPlugin(0), InSlot(0));
    EXPECT_EQ(SlotMap[1], -1);
    EXPECT_EQ(SlotMap[16], 20);
    EXPECT_EQ(SlotMap[0], 21);
    EXPECT_EQ(LiveInstances(InSlot(0)->DLLFileName()), synthsBefore - 1);
    EXPECT_FALSE(slots.SlotWindow(1)->Visible());

    // ReleaseSlotEntry on its own: entries above the released index move down.
    SlotMap[3] = 25;
    SlotMap[4] = 19;
    SlotMap[5] = 30;
    slots.ReleaseSlotEntry(3);
    EXPECT_EQ(SlotMap[3], -1);
    EXPECT_EQ(SlotMap[4], 19);
    EXPECT_EQ(SlotMap[5], 29);
    SlotMap[4] = SlotMap[5] = -1;
}

// Notes played while a slot's plugin is missing (or being swapped) must not reach the next
// plugin as one burst, note-ons without their note-offs among them.
TEST_F(SlotsTest, LoadingReplacingOrEmptyingASlotDropsTheEventsQueuedBefore) {
    InitEventQueues();
    auto play = [](int slot, int notes) {
        std::lock_guard hold(RoutingLock);
        for (int i = 0; i < notes; ++i) {
            QueueMidiEvent(slot, 0x90, static_cast<std::uint8_t>(60 + i % 12), 100);
        }
    };
    play(0, 3000); // into the empty slot, up to the limit
    ASSERT_EQ(PendingCount[0], kMaxQueuedEvents);
    slots.LoadInstrumentSlot(0, synth);
    ASSERT_NE(InSlot(0), nullptr);
    EXPECT_EQ(PendingCount[0], 0);
    EXPECT_EQ(TakeQueuedEvents(0), nullptr) << "the new instrument would get the backlog";

    play(0, 5);
    slots.LoadInstrumentSlot(0, synth); // replaced
    EXPECT_EQ(PendingCount[0], 0);

    play(0, 5);
    slots.LoadInstrumentSlot(0, -1); // emptied
    EXPECT_EQ(PendingCount[0], 0);
    InitEventQueues();
}

TEST_F(SlotsTest, APluginThatFailsToLoadLeavesItsSlotEmptyAndSaysWhy) {
    slots.LoadInstrumentSlot(2, synth);
    driver.switches.clear();
    slots.LoadInstrumentSlot(2, wrongMagic);
    EXPECT_EQ(SlotMap[2], -1);
    EXPECT_NE(slots.SlotProblem(2).find("no magic"), std::string::npos) << slots.SlotProblem(2);
    EXPECT_TRUE(driver.switches.empty());
    EXPECT_EQ(host.SlotPlugin(2), nullptr) << "the plugin it had left too";
    // The failed object stays in the collection, closed.
    ASSERT_EQ(host.VstPlugIns().Count(), 21);
    EXPECT_FALSE(host.VstPlugIns().Items(20)->Active());
    EXPECT_TRUE(presenter.boxes.empty());

    // A library that went away since the scan: the loader stops before touching the driver.
    driver.switches.clear();
    slots.LoadInstrumentSlot(3, gone);
    EXPECT_EQ(SlotMap[3], -1);
    EXPECT_NE(slots.SlotProblem(3).find("gone.so is missing"), std::string::npos);
    EXPECT_TRUE(driver.switches.empty());

    // A later successful load, or emptying the slot, clears the problem.
    slots.LoadInstrumentSlot(2, synth);
    slots.LoadInstrumentSlot(3, -1);
    EXPECT_TRUE(slots.SlotProblem(2).empty());
    EXPECT_TRUE(slots.SlotProblem(3).empty());
    EXPECT_EQ(SlotMap[2], 21);
}

TEST_F(SlotsTest, ALibraryTheScanLeftOutIsNeverLoaded) {
    // Loaded here, CrashInOpen would end the test process.
    const std::string crash = CopyTestPlugin("CrashInOpen", folder.Path(), "crash.so").string();
    ScanPluginFolder(host, folder.Path().string());
    ASSERT_NE(FindPluginProblem(crash), nullptr);
    // A catalogue entry that still names it (a list made before the library failed).
    PlgListRecord stale;
    stale.PluginName = "Crash";
    stale.LibraryFile = crash;
    InstrumentCatalogue.push_back(stale);
    EffectCatalogue.push_back(stale);
    driver.switches.clear();
    slots.LoadInstrumentSlot(3, static_cast<std::int32_t>(InstrumentCatalogue.size()) - 1);
    slots.LoadEffectSlot(19, static_cast<std::int32_t>(EffectCatalogue.size()) - 1);
    EXPECT_EQ(SlotMap[3], -1);
    EXPECT_EQ(SlotMap[19], -1);
    EXPECT_TRUE(driver.switches.empty()); // refused before anything was stopped
    for (std::int32_t slot : {3, 19}) {
        EXPECT_EQ(slots.SlotProblem(slot),
                  crash + " was left out by the plugin scan: crashed: segmentation fault while "
                          "opening");
    }
}

TEST_F(SlotsTest, WithoutWindowsNoPluginIsAskedForItsEditor) {
    // CrashingEditor crashes on every editor opcode, as a plugin that needs a display does.
    CopyTestPlugin("CrashingEditor", folder.Path(), "editor.so");
    ScanPluginFolder(host, folder.Path().string());
    const std::int32_t editor = IndexOf(InstrumentCatalogue, "Peldor CrashingEditor");
    ASSERT_GE(editor, 0);
    const std::string path = InstrumentCatalogue[static_cast<std::size_t>(editor)].LibraryFile;
    LibraryPin pin(path);
    ResetOpcodeLog(path);
    EffectCatalogue.push_back(InstrumentCatalogue[static_cast<std::size_t>(editor)]);

    slots.LoadInstrumentSlot(2, editor);
    slots.LoadEffectSlot(18, static_cast<std::int32_t>(EffectCatalogue.size()) - 1);
    ASSERT_NE(InSlot(2), nullptr);
    ASSERT_NE(InSlot(18), nullptr);
    for (int tick = 0; tick < 3; ++tick) {
        slots.IdlePass();
    }
    slots.HideEditor(2);
    slots.ShowEditor(2);
    slots.ShowEditor(18);
    slots.IdlePass();
    slots.LoadInstrumentSlot(2, -1);
    slots.UnloadSlots();

    const std::vector<int> log = OpcodeLog(path);
    EXPECT_FALSE(log.empty());
    for (int opcode :
         {vst2::effEditGetRect, vst2::effEditOpen, vst2::effEditClose, vst2::effEditIdle}) {
        EXPECT_EQ(std::count(log.begin(), log.end(), opcode), 0) << "opcode " << opcode;
    }
}

TEST_F(SlotsTest, ShellEffectsLoadByTheirIdKeepTheirSlotAndAreClosedAtTheEnd) {
    ASSERT_GE(shellFirst, 0);
    const std::string shellPath = EffectCatalogue[static_cast<std::size_t>(shellFirst)].LibraryFile;
    // The scan read the library in a probe; keep it loaded here so its instances can be counted.
    LibraryPin pin(shellPath);
    const int liveBefore = LiveInstances(shellPath);
    slots.LoadInstrumentSlot(0, synth);
    slots.LoadEffectSlot(17, shellFirst + 1);
    TVstPlugIn* shell = InSlot(17);
    ASSERT_NE(shell, nullptr);
    EXPECT_TRUE(shell->Active());
    EXPECT_TRUE(shell->DLLFileName().empty()); // placed by the loader, not loaded by name
    const std::int32_t id = EffectCatalogue[static_cast<std::size_t>(shellFirst + 1)].ShellID;
    EXPECT_EQ(shell->Effect()->uniqueID, id);
    EXPECT_EQ(slots.SlotWindow(17)->Caption().rfind("[VST 2] ", 0), 0u);

    // Closing a project empties the slots that came from files; the shell effect stays.
    slots.UnloadSlots();
    EXPECT_EQ(SlotMap[0], -1);
    EXPECT_EQ(SlotMap[17], 21);
    EXPECT_FALSE(slots.SlotWindow(17)->Visible());
    EXPECT_EQ(LiveInstances(shellPath), liveBefore + 1);
    // At the end every open plugin is closed, the shell effect included.
    slots.UnloadAllPlugins();
    EXPECT_FALSE(shell->Active());
    EXPECT_EQ(LiveInstances(shellPath), liveBefore);
    SlotMap[17] = -1;
}

TEST_F(SlotsTest, ProgramsChunksAndParametersAreCapturedAndAppliedThroughTheModel) {
    TProject& project = *ActiveProject();
    TSong& song = *project.AddSong();
    song.SlotSettings[0].PluginIndex = synth;
    song.SlotSettings[16].PluginIndex = gain;
    song.SlotSettings[16].IsInstrument = 0;
    song.SlotSettings[16].EditorVisible = 1;
    TPart& part = *song.AddPart();
    CurrentSong = 0;
    CurrentPart = 0;
    EXPECT_TRUE(song.ApplySlots().empty());
    TVstPlugIn* instrument = InSlot(0);
    TVstPlugIn* effect = InSlot(16);
    ASSERT_NE(instrument, nullptr);
    ASSERT_NE(effect, nullptr);
    EXPECT_TRUE(slots.SlotWindow(16)->Visible());
    EXPECT_FALSE(slots.SlotWindow(0)->Visible());

    instrument->SetProgramNr(2);
    instrument->SetParameter(0, 0.25f);
    effect->SetParameter(0, 0.75f);
    part.CaptureState();
    const TPluginSettings& synthState = part.SlotStates[0];
    const TPluginSettings& gainState = part.SlotStates[16];
    EXPECT_EQ(synthState.ProgramNr, 2);
    EXPECT_TRUE(synthState.HasState); // a program chunk
    EXPECT_GT(synthState.StateSize, 0);
    EXPECT_TRUE(gainState.HasState); // parameters
    EXPECT_EQ(gainState.StateSize, effect->numParams() * 4);

    instrument->SetProgramNr(0);
    instrument->SetParameter(0, 0.9f);
    effect->SetParameter(0, 0.1f);
    part.ApplyState();
    EXPECT_EQ(instrument->ProgramNr(), 2);
    EXPECT_FLOAT_EQ(instrument->GetParameter(0), 0.25f);
    EXPECT_FLOAT_EQ(effect->GetParameter(0), 0.75f);

    // Applying the song again keeps plugins that hold the same library.
    song.SlotSettings[16].EditorVisible = 0;
    song.CaptureSlots();
    EXPECT_EQ(song.SlotSettings[16].EditorVisible, 1);
    song.SlotSettings[16].EditorVisible = 0;
    driver.switches.clear();
    song.ApplySlots();
    EXPECT_EQ(InSlot(0), instrument);
    EXPECT_EQ(InSlot(16), effect);
    EXPECT_TRUE(driver.switches.empty());
    EXPECT_FALSE(slots.SlotWindow(16)->Visible());
}

TEST_F(SlotsTest, ChoosingAPluginRecordsItInTheSongAndRefreshesItsParts) {
    TSong& song = *ActiveProject()->AddSong();
    song.AddPart();
    song.AddPart();
    slots.ChooseInstrument(2, synth); // no current song yet
    EXPECT_EQ(SlotMap[2], -1);
    CurrentSong = 0;
    CurrentPart = 0;

    slots.ChooseInstrument(2, synth);
    EXPECT_EQ(song.SlotSettings[2].PluginIndex, synth);
    EXPECT_EQ(song.SlotSettings[2].EditorVisible, 1);
    ASSERT_NE(InSlot(2), nullptr);
    for (std::int32_t p = 0; p < song.PartCount(); ++p) {
        const TPluginSettings& state = song.PartAt(p)->SlotStates[2];
        EXPECT_EQ(state.PluginIndex, synth);
        EXPECT_TRUE(state.HasState);
    }
    slots.ChooseEffect(19, gain);
    EXPECT_EQ(song.SlotSettings[19].IsInstrument, 0);
    ASSERT_NE(InSlot(19), nullptr);

    // Tags beyond the catalogue and slots of the other kind change nothing.
    slots.ChooseInstrument(3, static_cast<std::int32_t>(InstrumentCatalogue.size()));
    slots.ChooseInstrument(16, synth);
    slots.ChooseEffect(2, gain);
    EXPECT_EQ(song.SlotSettings[3].PluginIndex, -1);
    EXPECT_EQ(song.SlotSettings[16].PluginIndex, -1);
    EXPECT_EQ(song.SlotSettings[2].PluginIndex, synth);

    slots.ChooseInstrument(2, -1);
    EXPECT_EQ(SlotMap[2], -1);
    EXPECT_EQ(song.SlotSettings[2].PluginIndex, -1);
    EXPECT_EQ(song.SlotSettings[2].EditorVisible, 0);
    for (std::int32_t p = 0; p < song.PartCount(); ++p) {
        EXPECT_FALSE(song.PartAt(p)->SlotStates[2].HasState);
    }
}

} // namespace
} // namespace peldor::test
