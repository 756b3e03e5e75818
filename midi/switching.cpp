#include "midi/switching.h"

#include "engine/strip_table.h"
#include "midi/activating_views.h"
#include "midi/routing.h"
#include "midi/switching_views.h"
#include "midi/window_messages.h"
#include "project/project_links.h"
#include "project/project_model.h"
#include "project/project_views.h"

namespace peldor {
namespace {

IInspectorView* inspectorView = nullptr;

IProjectViews* Views() {
    return ProjectLinks.Views;
}

void DisableInspector() {
    if (inspectorView != nullptr) {
        inspectorView->DisableControls();
    }
}

TSong* CurrentSongObject(TProject& project) {
    return project.SongAt(CurrentSong);
}

// Strips, then State: the part's mixer becomes the engine's, then its plugin programs and
// states are applied.
void MakeStripsCurrentAndApplyState(TPart& part) {
    CurrentStrips.store(part.Strips.get(), std::memory_order_release);
    if (IProjectViews* views = Views()) {
        views->UpdateAllMixers();
    }
    part.ApplyState();
}

// The new song's plugins, then the lists refilled for it (which sends the activation of its
// LastPart's connections), then the song selected.
void EnterSong(TSong& song) {
    song.ApplySlots();
    FillSongs();
    if (IProjectViews* views = Views()) {
        views->SelectSong(CurrentSong);
    }
}

// Steps 4 to 7 of a part step, for the part at CurrentSong / CurrentPart.
void EnterPartByStep(TPart& part) {
    FillConnections(part);
    IProjectViews* views = Views();
    if (part.ConnectionCount() > 0) {
        CurrentConnection = 0;
        if (views != nullptr) {
            views->ShowConnectionInInspector(0);
            views->SelectConnection(0);
        }
    } else {
        CurrentConnection = -1;
    }
    if (views != nullptr) {
        views->SelectSong(CurrentSong);
        views->SelectPart(CurrentPart);
    }
    MakeStripsCurrentAndApplyState(part);
}

// A part step in either direction.
void StepPart(int direction) {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        return;
    }
    LeaveCurrent();
    TSong* song = CurrentSongObject(*project);
    if (CurrentSong < 0 || CurrentPart < 0 || song == nullptr) {
        return;
    }
    CurrentPart += direction;
    if (CurrentPart < 0 || CurrentPart >= song->PartCount()) {
        const std::int32_t songs = project->SongCount();
        CurrentSong = ((CurrentSong + direction) % songs + songs) % songs;
        song = CurrentSongObject(*project);
        CurrentPart = direction > 0 ? 0 : song->PartCount() - 1;
        if (song->PartCount() == 0) {
            CurrentPart = -1;
        }
        SyncRoutingPart();
        EnterSong(*song);
        if (CurrentPart < 0) {
            return;
        }
    } else {
        SyncRoutingPart();
    }
    EnterPartByStep(*song->PartAt(CurrentPart));
}

// A song step in either direction.
void StepSong(int direction) {
    TProject* project = ActiveProject();
    if (project == nullptr) {
        return;
    }
    LeaveCurrent();
    const std::int32_t songs = project->SongCount();
    if (songs == 0) {
        return;
    }
    const std::int32_t next = CurrentSong + direction;
    if (next < 0 || next >= songs) {
        CurrentSong = direction > 0 ? 0 : songs - 1;
    } else {
        CurrentSong = next;
    }
    TSong& song = *CurrentSongObject(*project);
    CurrentPart = song.PartCount() > 0 ? 0 : -1;
    SyncRoutingPart();
    EnterSong(song);
    if (CurrentPart < 0) {
        return; // CurrentStrips keeps the previous part's table
    }
    TPart& part = *song.PartAt(CurrentPart);
    FillConnections(part);
    MakeStripsCurrentAndApplyState(part);
    IProjectViews* views = Views();
    if (views != nullptr) {
        views->SelectPart(CurrentPart);
    }
    if (part.ConnectionCount() > 0) {
        CurrentConnection = 0;
        if (views != nullptr) {
            views->ShowConnectionInInspector(0);
        }
    } else {
        CurrentConnection = -1;
    }
}

} // namespace

void SetInspectorView(IInspectorView* view) noexcept {
    inspectorView = view;
}

IInspectorView* InspectorView() noexcept {
    return inspectorView;
}

void SyncRoutingPart() {
    TProject* project = ActiveProject();
    SetRoutingPart(project != nullptr ? project->CurrentPartObject() : nullptr);
}

void LeaveCurrent() {
    TProject* project = ActiveProject();
    if (project == nullptr || CurrentSong < 0) {
        return;
    }
    TSong* song = CurrentSongObject(*project);
    if (song == nullptr) {
        return;
    }
    song->CaptureSlots();
    song->LastPart = CurrentPart;
    TPart* part = CurrentPart >= 0 ? song->PartAt(CurrentPart) : nullptr;
    if (part == nullptr) {
        return;
    }
    part->LastConnection = CurrentConnection;
    part->CaptureState();
    if (inspectorView != nullptr && inspectorView->Visible()) {
        if (TConnection* connection = part->ConnectionAt(part->LastConnection)) {
            inspectorView->StoreControls(*connection);
        }
    }
}

void NextPart() {
    StepPart(+1);
}

void PreviousPart() {
    StepPart(-1);
}

void NextSong() {
    StepSong(+1);
}

void PreviousSong() {
    StepSong(-1);
}

void Panic() {
    TProject* project = ActiveProject();
    TPart* part = project != nullptr ? project->CurrentPartObject() : nullptr;
    if (part == nullptr) {
        return;
    }
    for (std::int32_t i = 0; i < part->ConnectionCount(); ++i) {
        SendAllNotesOff(*part->ConnectionAt(i));
    }
}

void RunRemoteCommand(std::uint32_t command) {
    switch (command) {
    case 0:
        NextPart();
        break;
    case 1:
        PreviousPart();
        break;
    case 2:
        NextSong();
        break;
    case 3:
        PreviousSong();
        break;
    case 4:
        Panic();
        break;
    default:
        break;
    }
}

bool HandleMainWindowMessage(const TWindowMessage& message) {
    if (message.Target != TWindowTarget::MainWindow || message.Message != WM_REMOTECOMMAND) {
        return false;
    }
    RunRemoteCommand(message.WParam);
    return true;
}

int RunPostedRemoteCommands(TWindowMessageQueue& queue) {
    int commands = 0;
    for (const TWindowMessage& message : queue.Drain()) {
        commands += HandleMainWindowMessage(message) ? 1 : 0;
    }
    return commands;
}

void FillSongs() {
    if (IProjectViews* views = Views()) {
        views->FillSongList();
    }
    TProject* project = ActiveProject();
    TSong* song = project != nullptr ? CurrentSongObject(*project) : nullptr;
    if (song != nullptr) {
        FillParts(*song);
    }
}

void FillParts(TSong& song) {
    if (IProjectViews* views = Views()) {
        views->FillPartList(song);
    }
    if (TPart* part = song.PartAt(song.LastPart)) {
        FillConnections(*part);
    } else {
        DisableInspector();
    }
}

void FillConnections(TPart& part) {
    // The views' fill sends the activation messages; without views they still go out.
    if (IProjectViews* views = Views()) {
        views->FillConnectionList(part);
    } else {
        ActivateConnections(part);
    }
    if (part.ConnectionAt(part.LastConnection) != nullptr) {
        if (IProjectViews* views = Views()) {
            views->ShowConnectionInInspector(part.LastConnection);
            views->SelectConnection(part.LastConnection);
        }
    } else {
        DisableInspector();
    }
}

} // namespace peldor
