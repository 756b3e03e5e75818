#pragma once
// The project views the running program installs in ProjectLinks.Views. Filling a part's
// connection list sends every connection's activation messages (the project reader and the
// switching rely on that); this class does the sending, so the windows' own views only show
// things, and a program without windows (the headless runner) still activates its parts.

#include "project/project_views.h"

namespace peldor {

/// Window thread only.
class TActivatingProjectViews final : public IProjectViews {
public:
    /// windows: the windows' views, display only; null while there are none.
    explicit TActivatingProjectViews(IProjectViews* theWindows = nullptr) : windows(theWindows) {}

    void SetWindows(IProjectViews* views) noexcept { windows = views; }
    IProjectViews* Windows() const noexcept { return windows; }

    void SetBusyCursor(bool busy) override;
    void ProcessPendingMessages() override;
    void FillSongList() override;
    void FillPartList(TSong& song) override;
    /// The windows' fill, then SendActivation through every connection in list order.
    void FillConnectionList(TPart& part) override;
    void ShowConnectionInInspector(std::int32_t index) override;
    void SelectSong(std::int32_t index) override;
    void SelectPart(std::int32_t index) override;
    void SelectConnection(std::int32_t index) override;
    void UpdateAllMixers() override;

private:
    IProjectViews* windows;
};

/// SendActivation through every connection of the part, in list order. Window thread.
void ActivateConnections(TPart& part);

} // namespace peldor
