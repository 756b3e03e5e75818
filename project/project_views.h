#pragma once
// The windows the project code refreshes: the project window's three lists, the inspector,
// the mixer windows and the busy cursor. The windows implement this interface; without one
// (headless runs, tests) nothing is shown.

#include <cstdint>

namespace peldor {

class TPart;
class TSong;

/// Window thread only. Every method is cheap for the caller; what it costs the window is the
/// window's business.
class IProjectViews {
public:
    virtual ~IProjectViews() = default;

    /// Shows or restores the hourglass cursor.
    virtual void SetBusyCursor(bool busy) = 0;
    /// Lets pending window messages run.
    virtual void ProcessPendingMessages() = 0;

    /// Refills the song list from the project.
    virtual void FillSongList() = 0;
    /// Refills the part list from the song.
    virtual void FillPartList(TSong& song) = 0;
    /// Refills the connection list from the part. Filling the list sends every connection's
    /// activation messages, in list order.
    virtual void FillConnectionList(TPart& part) = 0;
    /// Shows connection index of the current part in the inspector.
    virtual void ShowConnectionInInspector(std::int32_t index) = 0;

    /// Selects an entry of a list; the caller passes only indices of 0 or more.
    virtual void SelectSong(std::int32_t index) = 0;
    virtual void SelectPart(std::int32_t index) = 0;
    virtual void SelectConnection(std::int32_t index) = 0;

    /// Reloads every mixer window from CurrentStrips and the mixer settings.
    virtual void UpdateAllMixers() = 0;
};

} // namespace peldor
