#include "midi/switching.h"

#include "midi/activating_views.h"
#include "tests/midi/midi_test_support.h"
#include "tests/project/project_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace peldor {
namespace {

using test::FakeSlotHost;
using test::Msg;

/// The windows' views, recording into a shared timeline. At the mixer refresh it also notes
/// what the output device had received and whether the plugin had been touched yet.
class TimelineViews final : public IProjectViews {
public:
    TimelineViews(std::vector<std::string>& theTimeline, TVirtualMidiBackend& theBackend,
                  FakeSlotHost& theHost)
        : timeline(theTimeline), backend(theBackend), host(theHost) {}

    void SetBusyCursor(bool) override {}
    void ProcessPendingMessages() override {}
    void FillSongList() override { timeline.push_back("songs"); }
    void FillPartList(TSong& song) override { timeline.push_back("parts " + song.Name); }
    void FillConnectionList(TPart& part) override {
        timeline.push_back("connections " + part.Name);
    }
    void ShowConnectionInInspector(std::int32_t index) override {
        timeline.push_back("inspect " + std::to_string(index));
    }
    void SelectSong(std::int32_t index) override {
        timeline.push_back("song " + std::to_string(index));
    }
    void SelectPart(std::int32_t index) override {
        timeline.push_back("part " + std::to_string(index));
    }
    void SelectConnection(std::int32_t) override {}
    void UpdateAllMixers() override {
        for (std::uint32_t word : backend.TakeSent(0)) {
            sentBeforeMixers.push_back(word);
        }
        const TProject* project = ActiveProject();
        const TPart* part = project != nullptr ? project->CurrentPartObject() : nullptr;
        timeline.push_back(part != nullptr && CurrentStrips.load() == part->Strips.get()
                               ? "mixers on current strips"
                               : "mixers on other strips");
        auto plugin = host.plugins.find(0);
        pluginTouchedBeforeMixers =
            plugin != host.plugins.end() &&
            std::any_of(plugin->second.log.begin(), plugin->second.log.end(),
                        [](const std::string& call) { return call.rfind("ProgramNr=", 0) == 0; });
    }

    std::vector<std::string>& timeline;
    TVirtualMidiBackend& backend;
    FakeSlotHost& host;
    std::vector<std::uint32_t> sentBeforeMixers;
    bool pluginTouchedBeforeMixers = false;
};

class RecordingInspector final : public IInspectorView {
public:
    bool Visible() override { return visible; }
    void StoreControls(TConnection& connection) override { stored.push_back(connection.Name); }
    void DisableControls() override { ++disabled; }

    bool visible = false;
    std::vector<std::string> stored;
    int disabled = 0;
};

class Switching : public ::testing::Test {
protected:
    Switching() : windows(timeline, *state.backend, host), views(&windows) {
        state.OpenAll();
        host.instruments = {{"a.so"}, {"b.so"}};
        ProjectLinks.Slots = &host;
        ProjectLinks.Views = &views;
        SetInspectorView(&inspector);
    }

    // Songs with the given part counts. Part p of song s is named "s.p" and has one connection
    // from input 0 to output 0 that activates with program 10 s + p and nothing else. Song s
    // holds instrument s % 2 in slot 0.
    TProject& Build(std::initializer_list<int> partCounts) {
        TProject& project = CreateProject();
        int s = 0;
        for (int parts : partCounts) {
            TSong* song = project.AddSong();
            song->Name = std::to_string(s);
            song->SlotSettings[0].PluginIndex = s % 2;
            for (int p = 0; p < parts; ++p) {
                TPart* part = song->AddPart();
                part->Name = std::to_string(s) + "." + std::to_string(p);
                TConnection* connection = part->AddConnection();
                connection->Name = part->Name;
                connection->Program = 10 * s + p;
                connection->VolumeEnabled = 0;
                connection->PanEnabled = 0;
            }
            ++s;
        }
        return project;
    }

    // Places the program at a song and part as if it had been stepped there.
    void StandAt(std::int32_t song, std::int32_t part) {
        CurrentSong = song;
        CurrentPart = part;
        CurrentConnection = part >= 0 ? 0 : -1;
        SyncRoutingPart();
        ActiveProject()->SongAt(song)->ApplySlots();
        state.backend->TakeSent(0);
        timeline.clear();
        host.log.clear();
    }

    // The program of the connection a note on input 0 is routed through now, or -1.
    int RoutedThrough() {
        state.backend->TakeSent(0);
        state.backend->Play(0, Msg(0x90, 60, 1));
        const std::vector<std::uint32_t> sent = state.backend->TakeSent(0);
        if (sent.empty()) {
            return -1;
        }
        TPart* part = ActiveProject()->CurrentPartObject();
        return part != nullptr ? part->ConnectionAt(0)->Program.Load() : -2;
    }

    // Everything output 0 received since the last call, also what the mixer refresh noted.
    std::vector<std::uint32_t> Activations() {
        std::vector<std::uint32_t> sent = std::exchange(windows.sentBeforeMixers, {});
        for (std::uint32_t word : state.backend->TakeSent(0)) {
            sent.push_back(word);
        }
        return sent;
    }

    // What the slot loaders and editor windows were asked for slot 0.
    std::vector<std::string> Slot0Log() {
        std::vector<std::string> calls;
        for (const std::string& call : host.log) {
            if (call == "hide 0" || call == "show 0" || call.rfind("instrument 0 ", 0) == 0) {
                calls.push_back(call);
            }
        }
        return calls;
    }

    test::MidiTestState state;
    FakeSlotHost host;
    std::vector<std::string> timeline;
    TimelineViews windows;
    TActivatingProjectViews views;
    RecordingInspector inspector;
};

TEST_F(Switching, NextPartWrapsWithinASingleSongAndReappliesItsSlots) {
    Build({3});
    StandAt(0, 1);
    NextPart();
    EXPECT_EQ(CurrentPart, 2);
    EXPECT_EQ(Activations(), std::vector<std::uint32_t>{Msg(0xC0, 2)});
    EXPECT_TRUE(host.log.empty());
    NextPart();
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentPart, 0);
    EXPECT_EQ(CurrentConnection, 0);
    // Left and re-entered by wrapping: the song's slots are applied again (same library, so
    // the plugin stays and only the editor window is set).
    EXPECT_EQ(Slot0Log(), std::vector<std::string>{"hide 0"});
    EXPECT_EQ(RoutedThrough(), 0);
}

TEST_F(Switching, APartStepStopsAtASongWithoutPartsAndASongStepMovesOn) {
    TProject& project = Build({2, 0, 1});
    StandAt(0, 1);
    TStripStates* strips = project.SongAt(0)->PartAt(1)->Strips.get();
    CurrentStrips.store(strips);

    NextPart();
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, -1);
    EXPECT_EQ(Slot0Log(), (std::vector<std::string>{"instrument 0 1", "hide 0"}));
    EXPECT_EQ(CurrentStrips.load(), strips);
    EXPECT_EQ(RoutedThrough(), -1);
    EXPECT_EQ(project.SongAt(0)->LastPart, 1);

    host.log.clear();
    timeline.clear();
    NextPart();
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, -1);
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(Activations().empty());

    NextSong();
    EXPECT_EQ(CurrentSong, 2);
    EXPECT_EQ(CurrentPart, 0);
    EXPECT_EQ(CurrentStrips.load(), project.SongAt(2)->PartAt(0)->Strips.get());
    EXPECT_EQ(RoutedThrough(), 20);

    // And on past the last song to the first; previous goes back past the empty song.
    NextPart();
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentPart, 0);
    PreviousPart();
    EXPECT_EQ(CurrentSong, 2);
    EXPECT_EQ(CurrentPart, 0);
    PreviousPart();
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, -1);
}

TEST_F(Switching, PreviousStepsWrapToTheEndAndSongStepsEnterPartZero) {
    TProject& project = Build({2, 3});
    StandAt(0, 0);
    PreviousPart();
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, 2);
    EXPECT_EQ(RoutedThrough(), 12);

    PreviousSong();
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_EQ(CurrentPart, 0);
    PreviousSong();
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_EQ(CurrentPart, 0);
    NextSong();
    EXPECT_EQ(CurrentSong, 0);
    // The song step refilled the lists: song 0 was left at part 0, so that part's
    // connections were filled (and activated) before part 0 was entered.
    EXPECT_EQ(project.SongAt(1)->LastPart, 0);

    // From no song at all a song step enters the first or the last song.
    CurrentSong = -1;
    CurrentPart = -1;
    NextSong();
    EXPECT_EQ(CurrentSong, 0);
    CurrentSong = -1;
    PreviousSong();
    EXPECT_EQ(CurrentSong, 1);
}

TEST_F(Switching, EnteringAPartActivatesThenSwitchesTheMixThenAppliesPluginState) {
    TProject& project = Build({2});
    project.SongAt(0)->PartAt(1)->SlotStates[0].ProgramNr = 5;
    StandAt(0, 0);
    NextPart();
    EXPECT_EQ(windows.sentBeforeMixers, std::vector<std::uint32_t>{Msg(0xC0, 1)});
    EXPECT_FALSE(windows.pluginTouchedBeforeMixers);
    EXPECT_EQ(host.plugins.at(0).program, 5);
    EXPECT_EQ(timeline, (std::vector<std::string>{"connections 0.1", "inspect 0", "song 0",
                                                  "part 1", "mixers on current strips"}));
}

TEST_F(Switching, LeavingAPartKeepsItsPluginProgramAndInspectorEdits) {
    TProject& project = Build({2});
    StandAt(0, 0);
    host.plugins.at(0).program = 7; // changed in the plugin's editor
    inspector.visible = true;
    NextPart();
    EXPECT_EQ(inspector.stored, std::vector<std::string>{"0.0"});
    EXPECT_EQ(project.SongAt(0)->PartAt(0)->SlotStates[0].ProgramNr, 7);
    EXPECT_EQ(project.SongAt(0)->PartAt(0)->LastConnection, 0);
    EXPECT_EQ(host.plugins.at(0).program, 0);
    PreviousPart();
    EXPECT_EQ(host.plugins.at(0).program, 7);
}

TEST_F(Switching, PanicSendsAllNotesOffThroughEveryConnectionOfThePart) {
    TProject& project = Build({1});
    TPart* part = project.SongAt(0)->PartAt(0);
    part->AddConnection()->OutChannel = 5;
    TConnection* third = part->AddConnection();
    third->OutChannel = kMultiChannel;
    third->Enabled = 0;
    StandAt(0, 0);
    Panic();
    EXPECT_EQ(
        state.backend->TakeSent(0),
        (std::vector<std::uint32_t>{Msg(0xB0, 123, 0), Msg(0xB5, 123, 0), Msg(0xB0, 123, 0)}));
}

TEST_F(Switching, RemoteCommandsRunOnTheWindowThreadAndNothingHappensWithoutAProject) {
    Build({1, 1});
    StandAt(0, 0);
    EXPECT_TRUE(HandleMainWindowMessage({TWindowTarget::MainWindow, WM_REMOTECOMMAND, 2, 0, {}}));
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_TRUE(HandleMainWindowMessage({TWindowTarget::MainWindow, WM_REMOTECOMMAND, 5, 0, {}}));
    EXPECT_EQ(CurrentSong, 1);
    EXPECT_FALSE(HandleMainWindowMessage({TWindowTarget::Inspector, WM_PAINT, 0, 0, {}}));
    RunRemoteCommand(3);
    EXPECT_EQ(CurrentSong, 0);
    // A remote note played on the remote port reaches the switching through the queue.
    TRemoteCommand& nextSong = ProjectOptions().RemoteCommands[2];
    nextSong.Pattern[0] = 0xB0;
    nextSong.Pattern[1] = 64;
    nextSong.Pattern[2] = -2;
    state.backend->Play(0, Msg(0xB0, 64, 0));
    state.backend->Play(0, Msg(0xB0, 64, 127));
    EXPECT_EQ(RunPostedRemoteCommands(state.queue), 1);
    EXPECT_EQ(CurrentSong, 1);

    DestroyProject();
    CurrentSong = CurrentPart = 0;
    for (std::uint32_t command = 0; command < 5; ++command) {
        RunRemoteCommand(command);
    }
    LeaveCurrent();
    EXPECT_EQ(CurrentSong, 0);
    EXPECT_TRUE(state.backend->TakeSent(0).empty());
}

TEST_F(Switching, AFilledPartWithoutALastConnectionDisablesTheInspector) {
    TProject& project = Build({1});
    TPart& part = *project.SongAt(0)->PartAt(0);
    FillConnections(part);
    EXPECT_EQ(inspector.disabled, 1);
    EXPECT_EQ(Activations(), std::vector<std::uint32_t>{Msg(0xC0, 0)});
    part.LastConnection = 0;
    FillConnections(part);
    EXPECT_EQ(inspector.disabled, 1);
    EXPECT_EQ(timeline.back(), "inspect 0");
    Activations();
    // Without any views the activation still goes out.
    ProjectLinks.Views = nullptr;
    FillConnections(part);
    EXPECT_EQ(Activations(), std::vector<std::uint32_t>{Msg(0xC0, 0)});
}

} // namespace
} // namespace peldor
