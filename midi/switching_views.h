#pragma once
// The inspector as part and song switching sees it. The project window's lists and the mixer
// windows are reached through IProjectViews (ProjectLinks.Views); both links may be absent
// (headless runs), and then the steps that show something are skipped.

#include <cstdint>

namespace peldor {

class TConnection;

/// Window thread only.
class IInspectorView {
public:
    virtual ~IInspectorView() = default;

    /// The inspector window is visible (its controls may hold edits not yet stored).
    virtual bool Visible() = 0;
    /// Stores the controls' values into the connection.
    virtual void StoreControls(TConnection& connection) = 0;
    /// Greys and disables every control: there is no connection to show.
    virtual void DisableControls() = 0;
};

/// Installs the inspector (null: none). Window thread.
void SetInspectorView(IInspectorView* view) noexcept;
/// The installed inspector or null. Window thread.
IInspectorView* InspectorView() noexcept;

} // namespace peldor
