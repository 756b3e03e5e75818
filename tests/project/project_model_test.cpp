#include "project/project_model.h"

#include "engine/block_handshake.h"
#include "engine/event_queue.h"
#include "tests/project/project_fakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace peldor {
namespace {

using test::FakeSlotHost;
using test::FakeSlotPlugin;
using test::ModelStateGuard;
using test::RecordingPresenter;

std::vector<std::uint8_t> FloatBytes(std::initializer_list<float> values) {
    std::vector<std::uint8_t> bytes(values.size() * sizeof(float));
    std::size_t offset = 0;
    for (float v : values) {
        std::memcpy(bytes.data() + offset, &v, sizeof v);
        offset += sizeof v;
    }
    return bytes;
}

class ProjectModel : public ::testing::Test {
protected:
    ModelStateGuard guard;
};

TEST_F(ProjectModel, IndexOperationsOutOfRangeChangeNothing) {
    TProject& project = CreateProject();
    TSong* a = project.AddSong();
    TSong* b = project.AddSong();
    EXPECT_EQ(project.SongAt(-1), nullptr);
    EXPECT_EQ(project.SongAt(2), nullptr);
    EXPECT_FALSE(project.SwapSongs(0, project.SongCount()));
    EXPECT_FALSE(project.SwapSongs(-1, 0));
    EXPECT_EQ(project.SongAt(0), a);
    EXPECT_TRUE(project.SwapSongs(1, 1));
    EXPECT_EQ(project.SongAt(1), b);
    EXPECT_TRUE(project.SwapSongs(0, 1));
    EXPECT_EQ(project.SongAt(0), b);
    EXPECT_FALSE(project.DeleteSong(2));
    EXPECT_EQ(project.SongCount(), 2);
    EXPECT_TRUE(project.DeleteSong(0));
    EXPECT_EQ(project.SongAt(0), a);

    TPart* p1 = a->AddPart();
    TPart* p2 = a->AddPart();
    EXPECT_FALSE(a->SwapParts(0, 2));
    EXPECT_TRUE(a->SwapParts(0, 1));
    EXPECT_EQ(a->PartAt(0), p2);
    EXPECT_FALSE(a->DeletePart(-1));
    EXPECT_TRUE(a->DeletePart(0));
    EXPECT_EQ(a->PartAt(0), p1);

    TConnection* c1 = p1->AddConnection();
    TConnection* c2 = p1->AddConnection();
    EXPECT_FALSE(p1->SwapConnections(1, 2));
    EXPECT_TRUE(p1->SwapConnections(1, 0));
    EXPECT_EQ(p1->ConnectionAt(0), c2);
    EXPECT_FALSE(p1->DeleteConnection(5));
    EXPECT_TRUE(p1->DeleteConnection(0));
    EXPECT_EQ(p1->ConnectionAt(0), c1);
    EXPECT_EQ(p1->ConnectionAt(1), nullptr);
}

TEST_F(ProjectModel, DefaultsAndNamingCountersAcrossProjects) {
    CurrentPart = 3;
    CurrentConnection = 4;
    TProject& first = CreateProject();
    EXPECT_EQ(CurrentSong, -1);
    EXPECT_EQ(CurrentPart, 3) << "creating a project leaves the other indices alone";
    EXPECT_EQ(CurrentConnection, 4);
    EXPECT_EQ(first.Name, "new project");
    EXPECT_EQ(first.Venue, "unknown venue");
    EXPECT_EQ(first.Author, "unknown author");
    EXPECT_GT(first.Created, 40000.0) << "days since 1899-12-30";
    EXPECT_TRUE(first.Settings->FileName.empty());

    TSong* song = first.AddSong();
    EXPECT_EQ(song->Name, "new song 1");
    EXPECT_EQ(song->Composer, "unknown composer");
    EXPECT_EQ(song->Key, "c major");
    EXPECT_EQ(song->Tempo, 120.0f);
    EXPECT_EQ(song->LastPart, -1);
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(song->SlotSettings[i].Slot, i);
        EXPECT_EQ(song->SlotSettings[i].PluginIndex, -1);
        EXPECT_EQ(song->SlotSettings[i].IsInstrument, 1);
    }
    TPart* part = song->AddPart();
    EXPECT_EQ(part->Name, "new part 1");
    EXPECT_EQ(part->Song, song);
    EXPECT_EQ(part->LastConnection, -1);
    EXPECT_EQ((*part->Strips)[0].Level, 0.0f);
    EXPECT_EQ((*part->Strips)[kSoloStrip].Pan, 0.5f);
    TConnection* c = part->AddConnection();
    EXPECT_EQ(c->Name, "unnamed connection 1");
    EXPECT_EQ(c->Position, 0);
    EXPECT_EQ(c->Volume, 96);
    EXPECT_EQ(c->Pan, 64);
    EXPECT_EQ(c->RangeHi, 127);
    EXPECT_EQ(c->ProgramName, "unknown");
    EXPECT_EQ(c->OutDisplay.Port, 16);
    EXPECT_EQ(part->AddConnection()->Position, 1);

    // A second project in the same run continues the numbering.
    TProject& second = CreateProject();
    EXPECT_EQ(ActiveProject(), &second);
    EXPECT_EQ(second.AddSong()->Name, "new song 2");
    EXPECT_EQ(second.SongAt(0)->AddPart()->Name, "new part 2");
    EXPECT_EQ(second.SongAt(0)->PartAt(0)->AddConnection()->Name, "unnamed connection 3");
}

TEST_F(ProjectModel, ConnectionLimitShowsTheMessageAndCopiesStopAtIt) {
    RecordingPresenter presenter;
    TProject& project = CreateProject();
    TSong* song = project.AddSong();
    TPart* full = song->AddPart();
    for (int i = 0; i < kMaxConnections; ++i) {
        ASSERT_NE(full->AddConnection(), nullptr);
    }
    EXPECT_EQ(ConnectionCounter, 64);
    EXPECT_EQ(full->AddConnection(), nullptr);
    EXPECT_EQ(full->ConnectionCount(), 64);
    EXPECT_EQ(ConnectionCounter, 64) << "a refused connection takes no number";
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0], "Problem: Sorry, maximum number of connections reached.");

    // Copying replaces the target's connections, so a full part fits exactly.
    TPart* target = song->AddPart();
    target->AddConnection();
    target->AddConnection();
    full->ConnectionAt(63)->Name = "last";
    CopyPart(*full, *target);
    EXPECT_EQ(target->ConnectionCount(), 64);
    EXPECT_EQ(target->ConnectionAt(63)->Name, "last");
    EXPECT_EQ(target->ConnectionAt(63)->Position, 63);
    EXPECT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(ConnectionCounter, 64 + 2 + 64) << "copied connections go through AddConnection";
}

TEST_F(ProjectModel, CopyConnectionCopiesStoredFieldsOnly) {
    TConnection source("source");
    source.SetInPort(5);
    source.InChannel = 16;
    source.PassPolyPressure = 1;
    source.PassUser2 = 1;
    source.Enabled = 0;
    source.Program = 42;
    source.ProgramName = "Strings";
    source.BankHi = 3;
    source.BankLoEnabled = 1;
    source.Transpose = -12;
    source.RangeLo = 36;
    source.SetOutPort(20);
    source.OutChannel = 9;
    source.SenseToggle = 1;
    source.Position = 7;
    source.InDisplay.Text = "on C4";

    TConnection target("target");
    target.Position = 2;
    CopyConnection(source, target);
    EXPECT_EQ(target.Name, "source");
    EXPECT_EQ(target.InPort, 5);
    EXPECT_EQ(target.InDisplay.Port, 5);
    EXPECT_EQ(target.InChannel, 16);
    EXPECT_EQ(target.PassPolyPressure, 1);
    EXPECT_EQ(target.PassUser2, 1);
    EXPECT_EQ(target.Enabled, 0);
    EXPECT_EQ(target.Program, 42);
    EXPECT_EQ(target.ProgramName, "Strings");
    EXPECT_EQ(target.BankHi, 3);
    EXPECT_EQ(target.BankLoEnabled, 1);
    EXPECT_EQ(target.Transpose, -12);
    EXPECT_EQ(target.RangeLo, 36);
    EXPECT_EQ(target.OutPort, 20);
    EXPECT_EQ(target.OutDisplay.Port, 36);
    EXPECT_EQ(target.OutChannel, 9);
    EXPECT_EQ(target.SenseToggle, 0);
    EXPECT_EQ(target.Position, 2);
    EXPECT_TRUE(target.InDisplay.Text.empty());
}

TEST_F(ProjectModel, CopySongMakesIndependentPartsAndStates) {
    TProject& project = CreateProject();
    TSong* source = project.AddSong();
    source->Composer = "someone";
    source->Tempo = 98.5f;
    source->SlotSettings[3].PluginIndex = 2;
    TPart* a = source->AddPart();
    TPart* b = source->AddPart();
    (*a->Strips)[5].Level = 0.75f;
    a->AddConnection()->Name = "keys";
    b->SlotStates[3].HasState = 1;
    b->SlotStates[3].StateSize = 3;
    b->SlotStates[3].StateData = {1, 2, 3};
    b->SlotStates[4].HasState = 1; // no data: cleared by the copy
    b->SlotStates[4].StateSize = 8;

    std::unique_ptr<TSong> copy = CopySong(*source);
    ASSERT_EQ(copy->PartCount(), 2);
    EXPECT_EQ(copy->Composer, "someone");
    EXPECT_EQ(copy->Tempo, 98.5f);
    EXPECT_EQ(copy->SlotSettings[3].PluginIndex, 2);
    EXPECT_EQ(copy->SlotSettings[3].Slot, 3);
    TPart* copyA = copy->PartAt(0);
    TPart* copyB = copy->PartAt(1);
    EXPECT_EQ(copyA->Song, copy.get());
    EXPECT_EQ(copyB->Song, copy.get());
    EXPECT_EQ(copyA->Name, a->Name);
    EXPECT_NE(copyA->Strips.get(), a->Strips.get());
    EXPECT_EQ((*copyA->Strips)[5].Level, 0.75f);
    EXPECT_EQ(copyA->ConnectionAt(0)->Name, "keys");
    EXPECT_NE(copyA->ConnectionAt(0), a->ConnectionAt(0));
    EXPECT_EQ(copyB->SlotStates[3].StateData, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_NE(copyB->SlotStates[3].StateData.data(), b->SlotStates[3].StateData.data());
    EXPECT_EQ(copyB->SlotStates[4].HasState, 0);
    EXPECT_EQ(copyB->SlotStates[4].StateSize, 0);

    // Changing or destroying the original leaves the copy intact.
    b->SlotStates[3].StateData[0] = 99;
    (*a->Strips)[5].Level = 0.0f;
    project.DeleteSong(0);
    EXPECT_EQ(copyB->SlotStates[3].StateData[0], 1);
    EXPECT_EQ((*copyA->Strips)[5].Level, 0.75f);

    // Copying into an existing song replaces its parts.
    TSong* target = project.AddSong();
    target->AddPart();
    target->AddPart();
    target->AddPart();
    CopySong(*copy, *target);
    EXPECT_EQ(target->PartCount(), 2);
    EXPECT_EQ(target->PartAt(1)->Song, target);
}

TEST_F(ProjectModel, SyncFromSongCopiesTheSongFieldsOnly) {
    TSong song("s");
    TPluginSettings& s = song.SlotSettings[7];
    s.PluginIndex = 4;
    s.IsInstrument = 0;
    s.NumInputs = 2;
    s.NumOutputs = 6;
    s.EditorVisible = 1;
    s.EditorLeft = 10;
    s.EditorTop = 20;
    s.ProgramNr = 55; // part-level field: not copied
    TPart* part = song.AddPart();
    part->SlotStates[7].ProgramNr = 3;
    part->SyncFromSong();
    const TPluginSettings& p = part->SlotStates[7];
    EXPECT_EQ(p.PluginIndex, 4);
    EXPECT_EQ(p.IsInstrument, 0);
    EXPECT_EQ(p.NumInputs, 2);
    EXPECT_EQ(p.NumOutputs, 6);
    EXPECT_EQ(p.EditorVisible, 1);
    EXPECT_EQ(p.EditorLeft, 10);
    EXPECT_EQ(p.EditorTop, 20);
    EXPECT_EQ(p.ProgramNr, 3);
    EXPECT_EQ(p.Slot, 7);
}

class SlotCapture : public ProjectModel {
protected:
    SlotCapture() {
        host.instruments = {{"synth.so", false}, {"chunky.so", true}};
        host.effects = {{"reverb.so", false}};
        ProjectLinks.Slots = &host;
    }
    FakeSlotHost host;
};

TEST_F(SlotCapture, ChunkStateCaptureAndApply) {
    FakeSlotPlugin& plugin = host.Put(2, "chunky.so");
    plugin.program = 7;
    plugin.categoryAnswer = 5;
    plugin.chunk = {9, 8, 7, 6, 5};
    TPluginSettings entry;
    entry.Slot = 2;
    entry.PluginIndex = 1;
    CaptureSlotState(entry);
    EXPECT_EQ(entry.ProgramNr, 7);
    EXPECT_EQ(plugin.askedCategoryIndex, 0);
    EXPECT_EQ(entry.ProgramCategory, 5);
    EXPECT_EQ(entry.HasState, 1);
    EXPECT_EQ(entry.StateSize, 5);
    EXPECT_EQ(entry.StateData, plugin.chunk);

    // A plugin that now reports no chunk keeps the old buffer but clears HasState, so
    // applying sets the program only.
    plugin.reportedChunkSize = 0;
    CaptureSlotState(entry);
    EXPECT_EQ(entry.HasState, 0);
    EXPECT_EQ(entry.StateSize, 5);
    EXPECT_EQ(entry.StateData.size(), 5u);
    plugin.log.clear();
    ApplySlotState(entry);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"ProgramNr=7"}));

    // Program before state.
    entry.HasState = 1;
    entry.ProgramNr = 3;
    plugin.chunk.clear();
    ApplySlotState(entry);
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"ProgramNr=7", "ProgramNr=3", "SetChunk 5"}));
    EXPECT_EQ(plugin.chunk, (std::vector<std::uint8_t>{9, 8, 7, 6, 5}));
}

TEST_F(SlotCapture, ParameterStateCaptureApplyAndSizeMismatch) {
    FakeSlotPlugin& plugin = host.Put(0, "synth.so");
    plugin.parameters = {0.25f, 0.5f, 1.0f};
    TPluginSettings entry;
    entry.Slot = 0;
    entry.PluginIndex = 0;
    CaptureSlotState(entry);
    EXPECT_EQ(entry.HasState, 1);
    EXPECT_EQ(entry.StateSize, 12);
    EXPECT_EQ(entry.StateData, FloatBytes({0.25f, 0.5f, 1.0f}));

    plugin.parameters = {0, 0, 0};
    ApplySlotState(entry);
    EXPECT_EQ(plugin.parameters, (std::vector<float>{0.25f, 0.5f, 1.0f}));

    // 12 bytes of state on a plugin that now has 4 parameters: nothing is set.
    plugin.parameters = {0, 0, 0, 0};
    plugin.log.clear();
    ApplySlotState(entry);
    EXPECT_EQ(plugin.parameters, (std::vector<float>{0, 0, 0, 0}));
    EXPECT_EQ(plugin.log, (std::vector<std::string>{"ProgramNr=0"}));

    // A plugin without parameters captures no state.
    plugin.parameters.clear();
    CaptureSlotState(entry);
    EXPECT_EQ(entry.HasState, 0);
    EXPECT_EQ(entry.StateSize, 0);
}

TEST_F(SlotCapture, InactivePluginsEmptySlotsAndMissingMainWindow) {
    FakeSlotPlugin& plugin = host.Put(1, "synth.so");
    plugin.active = false;
    TPluginSettings entry;
    entry.Slot = 1;
    entry.PluginIndex = 0;
    CaptureSlotState(entry);
    EXPECT_EQ(entry.ProgramNr, -1);

    TPluginSettings empty;
    empty.Slot = 5;
    empty.ProgramNr = 9;
    CaptureSlotState(empty);
    EXPECT_EQ(empty.ProgramNr, 9);

    TPluginSettings outOfRange;
    outOfRange.Slot = 20;
    CaptureSlotSettings(outOfRange);
    ApplySlotState(outOfRange);

    ProjectLinks.Slots = nullptr;
    plugin.active = true;
    plugin.program = 4;
    CaptureSlotState(entry);
    EXPECT_EQ(entry.ProgramNr, -1) << "no main window: nothing happens";
    EXPECT_TRUE(ApplySlotSettings(entry));
    EXPECT_TRUE(host.log.empty());
}

TEST_F(SlotCapture, CaptureSlotSettingsReadsPluginAndWindow) {
    FakeSlotPlugin& plugin = host.Put(16, "reverb.so");
    plugin.inputs = 2;
    plugin.outputs = 2;
    TPluginSettings entry;
    entry.Slot = 16;
    entry.PluginIndex = 0;
    CaptureSlotSettings(entry);
    EXPECT_EQ(entry.NumInputs, 2);
    EXPECT_EQ(entry.EditorVisible, 0);
    EXPECT_EQ(entry.EditorLeft, 100) << "no editor window yet";
    EXPECT_EQ(entry.EditorTop, 100);
    host.visible[16] = true;
    host.positions[16] = {300, 40};
    CaptureSlotSettings(entry);
    EXPECT_EQ(entry.EditorVisible, 1);
    EXPECT_EQ(entry.EditorLeft, 300);
    EXPECT_EQ(entry.EditorTop, 40);
    EXPECT_EQ(entry.PluginIndex, 0);
}

TEST_F(SlotCapture, ApplySlotSettingsLoadsOnlyWhatChanged) {
    TSong song("s");
    song.SlotSettings[0].PluginIndex = 0;
    song.SlotSettings[0].EditorVisible = 1;
    song.SlotSettings[16].PluginIndex = 0;
    song.SlotSettings[16].IsInstrument = 0;
    host.Put(1, "old.so"); // slot 1 is stored empty: it is emptied
    EXPECT_TRUE(song.ApplySlots().empty());
    EXPECT_EQ(host.log[0], "instrument 0 0");
    EXPECT_EQ(host.log[1], "show 0");
    EXPECT_EQ(host.log[2], "instrument 1 -1");
    EXPECT_EQ(host.plugins.count(1), 0u);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "effect 16 0"), host.log.end());
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "hide 16"), host.log.end());

    // The same library again is not reloaded, but the editor still follows EditorVisible.
    host.log.clear();
    song.SlotSettings[0].EditorVisible = 0;
    ApplySlotSettings(song.SlotSettings[0]);
    EXPECT_EQ(host.log, (std::vector<std::string>{"hide 0"}));
    // Another library in the slot is replaced.
    host.Put(0, "other.so");
    host.log.clear();
    ApplySlotSettings(song.SlotSettings[0]);
    EXPECT_EQ(host.log, (std::vector<std::string>{"instrument 0 0", "hide 0"}));
}

TEST_F(SlotCapture, PluginMissingFromTheCatalogueLeavesTheSlotEmptyAndKeepsTheIndex) {
    TSong song("s");
    song.SlotSettings[4].PluginIndex = 7; // only two instruments installed here
    host.Put(4, "synth.so");
    const std::vector<std::int32_t> missing = song.ApplySlots();
    EXPECT_EQ(missing, (std::vector<std::int32_t>{4}));
    EXPECT_EQ(host.plugins.count(4), 0u);
    EXPECT_EQ(song.SlotSettings[4].PluginIndex, 7);
    EXPECT_EQ(SlotDisplayName(4), "VSTi 5");
    EXPECT_EQ(SlotDisplayName(19), "VST 4");
}

TEST_F(SlotCapture, RefreshAndClearSlotInParts) {
    TSong song("s");
    song.SlotSettings[2].PluginIndex = 0;
    TPart* a = song.AddPart();
    TPart* b = song.AddPart();
    a->SlotStates[2].ProgramNr = 50;
    a->SlotStates[2].HasState = 1;
    a->SlotStates[2].StateSize = 2;
    a->SlotStates[2].StateData = {1, 2};
    FakeSlotPlugin& plugin = host.Put(2, "synth.so");
    plugin.program = 6;
    plugin.parameters = {0.5f};
    song.RefreshSlotInParts(2);
    for (TPart* part : {a, b}) {
        EXPECT_EQ(part->SlotStates[2].PluginIndex, 0);
        EXPECT_EQ(part->SlotStates[2].ProgramNr, 6);
        EXPECT_EQ(part->SlotStates[2].StateData, FloatBytes({0.5f}));
        EXPECT_EQ(part->SlotStates[2].Slot, 2);
    }
    song.ClearSlotInParts(2);
    for (TPart* part : {a, b}) {
        EXPECT_EQ(part->SlotStates[2].PluginIndex, -1);
        EXPECT_EQ(part->SlotStates[2].ProgramNr, 0);
        EXPECT_EQ(part->SlotStates[2].HasState, 0);
        EXPECT_TRUE(part->SlotStates[2].StateData.empty());
        EXPECT_EQ(part->SlotStates[2].Slot, 2);
    }
    song.ClearSlotInParts(20); // out of range: nothing
}

TEST_F(SlotCapture, PartCaptureAndApplyRestoreEverySlot) {
    TSong song("s");
    song.SlotSettings[0].PluginIndex = 0;
    song.SlotSettings[17].PluginIndex = 0;
    TPart* part = song.AddPart();
    FakeSlotPlugin& synth = host.Put(0, "synth.so");
    FakeSlotPlugin& effect = host.Put(17, "reverb.so");
    synth.program = 11;
    synth.parameters = {0.1f, 0.2f};
    effect.parameters = {0.9f};
    part->CaptureState();
    synth.program = 0;
    synth.parameters = {0, 0};
    effect.parameters = {0};
    part->ApplyState();
    EXPECT_EQ(synth.program, 11);
    EXPECT_EQ(synth.parameters, (std::vector<float>{0.1f, 0.2f}));
    EXPECT_EQ(effect.parameters, (std::vector<float>{0.9f}));
}

TEST_F(ProjectModel, DestroyingTheCurrentPartReleasesCurrentStripsAndRouting) {
    TProject& project = CreateProject();
    TSong* song = project.AddSong();
    TPart* part = song->AddPart();
    CurrentStrips.store(part->Strips.get());
    SetRoutingPart(part);
    song->DeletePart(0);
    EXPECT_EQ(CurrentStrips.load(), nullptr);
    {
        std::lock_guard hold(RoutingLock);
        EXPECT_EQ(RoutingPartLocked(), nullptr);
    }
    TPart* other = song->AddPart();
    CurrentStrips.store(other->Strips.get());
    SetRoutingPart(other);
    DestroyProject();
    EXPECT_EQ(ActiveProject(), nullptr);
    EXPECT_EQ(CurrentStrips.load(), nullptr);
}

// A block that loaded a part's table and is slow to finish with it (it writes the meters at
// its end): removing the part, its song or all songs must not free the table under it, even
// when another table has been made current in the meantime.
TEST_F(ProjectModel, RemovedPartsAreFreedOnlyAfterTheBlockHoldingTheirTableEnds) {
    TProject& project = CreateProject();
    TSong* first = project.AddSong();
    first->AddPart();
    first->AddPart();
    TSong* second = project.AddSong();
    second->AddPart();
    TSong* third = project.AddSong();
    third->AddPart();

    auto removeWhileABlockHolds = [](TPart* held, TStripStates* currentMeanwhile, auto remove) {
        CurrentStrips.store(held->Strips.get());
        std::atomic<bool> loaded{false};
        std::atomic<bool> ended{false};
        std::thread audio([&] {
            BlockInProgress block;
            TStripStates* strips = CurrentStrips.load(std::memory_order_acquire);
            loaded = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(120));
            (*strips)[kMasterStrip].MeterL = 0.5f;
            ended = true;
        });
        while (!loaded) {
            std::this_thread::yield();
        }
        CurrentStrips.store(currentMeanwhile);
        remove();
        const bool waited = ended;
        audio.join();
        return waited;
    };

    TStripStates* kept = third->PartAt(0)->Strips.get();
    EXPECT_TRUE(removeWhileABlockHolds(first->PartAt(0), kept, [first] { first->DeletePart(0); }));
    EXPECT_TRUE(removeWhileABlockHolds(first->PartAt(0), kept, [first] { first->ClearParts(); }));
    EXPECT_TRUE(removeWhileABlockHolds(second->PartAt(0), second->PartAt(0)->Strips.get(),
                                       [&project] { project.DeleteSong(1); }));
    EXPECT_EQ(CurrentStrips.load(), nullptr);
    EXPECT_TRUE(
        removeWhileABlockHolds(third->PartAt(0), kept, [&project] { project.ClearSongs(); }));
    EXPECT_EQ(CurrentStrips.load(), nullptr);
    EXPECT_EQ(project.SongCount(), 0);
}

// The MIDI thread routes through the routing part while the window thread edits its list,
// switches parts and closes projects. Under the sanitizers this shows that no connection is
// touched after it was destroyed.
TEST_F(ProjectModel, RoutingWalkSurvivesStructuralChanges) {
    RecordingPresenter presenter;
    std::atomic<bool> stop{false};
    std::atomic<long> visits{0};
    std::thread midi([&] {
        while (!stop.load()) {
            ForEachRoutingConnection([&](TConnection& c, std::int32_t) {
                c.SenseToggle = 1 - c.SenseToggle;
                c.Volume = static_cast<std::uint8_t>(c.Volume + 1);
                c.InDisplay.Text = "sense";
                visits.fetch_add(1, std::memory_order_relaxed);
            });
        }
    });
    for (int round = 0; round < 40; ++round) {
        TProject& project = CreateProject();
        TSong* song = project.AddSong();
        TPart* a = song->AddPart();
        TPart* b = song->AddPart();
        for (int i = 0; i < 20; ++i) {
            a->AddConnection();
            b->AddConnection();
        }
        SetRoutingPart(a);
        if (round == 0) {
            while (visits.load() == 0) {
                std::this_thread::yield();
            }
        }
        for (int i = 0; i < 30; ++i) {
            a->SwapConnections(i % 20, (i * 7) % 20);
            a->DeleteConnection(i % a->ConnectionCount());
            a->AddConnection();
            if (i % 10 == 0) {
                SetRoutingPart(i % 20 == 0 ? b : a);
            }
        }
        {
            std::lock_guard hold(RoutingLock);
            (void)a->ConnectionAt(0)->InDisplay.Text.size();
        }
        CopyPart(*b, *a);
        song->DeletePart(round % 2);
    }
    DestroyProject();
    stop = true;
    midi.join();
    EXPECT_GT(visits.load(), 0);
}

} // namespace
} // namespace peldor
