#pragma once
// Position and visibility of the program's twelve main windows, stored at the end of every
// project file. The main window implements IWindowLayout over its windows; TMemoryWindowLayout
// keeps the records for tools and tests.

#include <array>
#include <cstdint>

namespace peldor {

/// The windows in file order.
enum TLayoutWindow : int {
    kLayoutMainWindow = 0,
    kLayoutAudioSettings,
    kLayoutInspector,
    kLayoutMidiSettings,
    kLayoutMixer1,
    kLayoutMixer2,
    kLayoutMixer3,
    kLayoutMixer4,
    kLayoutProjectWindow,
    kLayoutEffectsWindow,
    kLayoutInstrumentsWindow,
    kLayoutProjectOptions,
    kLayoutWindowCount
};

/// One window's record. When Exists is 0 the other fields are not stored.
struct TWindowLayoutRecord {
    std::uint8_t Exists = 0;
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint8_t Visible = 0;

    friend bool operator==(const TWindowLayoutRecord&, const TWindowLayoutRecord&) = default;
};

using TWindowLayout = std::array<TWindowLayoutRecord, kLayoutWindowCount>;

/// Window thread only.
class IWindowLayout {
public:
    virtual ~IWindowLayout() = default;

    /// The record of a window: Exists 0 when the window object does not exist.
    virtual TWindowLayoutRecord Placement(int window) = 0;
    /// Creates the window when it does not exist, then places it and shows or hides it.
    /// Called only for records with Exists set.
    virtual void Place(int window, const TWindowLayoutRecord& record) = 0;
};

/// Remembers the placed records; a window exists once it has been placed.
class TMemoryWindowLayout final : public IWindowLayout {
public:
    TWindowLayoutRecord Placement(int window) override {
        return window >= 0 && window < kLayoutWindowCount ? records[window] : TWindowLayoutRecord{};
    }
    void Place(int window, const TWindowLayoutRecord& record) override {
        if (window >= 0 && window < kLayoutWindowCount) {
            records[window] = record;
        }
    }

    TWindowLayout records{};
};

} // namespace peldor
