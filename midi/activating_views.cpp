#include "midi/activating_views.h"

#include "midi/routing.h"
#include "project/project_model.h"

namespace peldor {

void ActivateConnections(TPart& part) {
    for (std::int32_t i = 0; i < part.ConnectionCount(); ++i) {
        SendActivation(*part.ConnectionAt(i));
    }
}

void TActivatingProjectViews::SetBusyCursor(bool busy) {
    if (windows != nullptr) {
        windows->SetBusyCursor(busy);
    }
}

void TActivatingProjectViews::ProcessPendingMessages() {
    if (windows != nullptr) {
        windows->ProcessPendingMessages();
    }
}

void TActivatingProjectViews::FillSongList() {
    if (windows != nullptr) {
        windows->FillSongList();
    }
}

void TActivatingProjectViews::FillPartList(TSong& song) {
    if (windows != nullptr) {
        windows->FillPartList(song);
    }
}

void TActivatingProjectViews::FillConnectionList(TPart& part) {
    if (windows != nullptr) {
        windows->FillConnectionList(part);
    }
    ActivateConnections(part);
}

void TActivatingProjectViews::ShowConnectionInInspector(std::int32_t index) {
    if (windows != nullptr) {
        windows->ShowConnectionInInspector(index);
    }
}

void TActivatingProjectViews::SelectSong(std::int32_t index) {
    if (windows != nullptr) {
        windows->SelectSong(index);
    }
}

void TActivatingProjectViews::SelectPart(std::int32_t index) {
    if (windows != nullptr) {
        windows->SelectPart(index);
    }
}

void TActivatingProjectViews::SelectConnection(std::int32_t index) {
    if (windows != nullptr) {
        windows->SelectConnection(index);
    }
}

void TActivatingProjectViews::UpdateAllMixers() {
    if (windows != nullptr) {
        windows->UpdateAllMixers();
    }
}

} // namespace peldor
