#pragma once
// The windows a plugin's editor lives in, seen from the core. The GUI implements these with
// real top-level windows (a plugin's own editor is embedded through the window's native
// handle); the headless implementation keeps the same state without showing anything, so the
// plugin object's editor logic runs and is tested without a display.
//
// Everything here runs on the window thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace peldor {

/// Native handle handed to a plugin's effEditOpen (an X11 window id); 0 for none.
using TWindowHandle = std::uintptr_t;

enum class TControlKind { Label, TrackBar, ComboBox, ScrollBar };

/// One control of the generic editor, described by the core and shown by the window. The
/// window writes Position or ItemIndex when the user changes the control and then calls
/// OnChange; the core writes the fields and calls IEditorWindow::ControlChanged.
struct TEditorControl {
    std::string Name;
    TControlKind Kind = TControlKind::Label;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool AnchorRight = false; // anchored left, top and right: grows with the window
    bool Centered = false;    // label text alignment
    int TabOrder = 0;
    int Tag = 0;
    std::string Text;
    // Track bars and scroll bars.
    int Min = 0;
    int Max = 0;
    int Position = 0;
    int Frequency = 0;   // track bar tick frequency
    int LargeChange = 0; // scroll bar page step
    bool NoTicks = false;
    // Drop-down lists.
    std::vector<std::string> Items;
    int ItemIndex = -1;
    int ItemHeight = 0;

    std::function<void()> OnChange;
};

/// A window holding a plugin editor: the plugin's own (through Handle) or the generic one
/// (through the controls).
class IEditorWindow {
public:
    virtual ~IEditorWindow() = default;

    virtual TWindowHandle Handle() const = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual std::string Caption() const = 0;
    virtual void SetClientSize(int width, int height) = 0;
    virtual int ClientWidth() const = 0;
    virtual int ClientHeight() const = 0;
    /// Outer width, frame included; the generic editor lays its controls out from it.
    virtual int Width() const = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual bool Visible() const = 0;

    /// Adds a control and returns it; the window owns it.
    virtual TEditorControl* AddControl(std::unique_ptr<TEditorControl> control) = 0;
    /// The control of that name, or null.
    virtual TEditorControl* FindControl(const std::string& name) = 0;
    /// Destroys the control of that name; returns false when there is none.
    virtual bool RemoveControl(const std::string& name) = 0;
    /// The core changed a control's fields; the window shows them.
    virtual void ControlChanged(TEditorControl& control) = 0;
    /// Width in pixels of text in the label font.
    virtual int TextWidth(const std::string& text) const = 0;
    /// A window that shows the generic editor when a plugin's own editor cannot be embedded
    /// (no native handle, or the plugin refused effEditOpen). The headless window does not:
    /// without a display nobody would see it.
    virtual bool FallsBackToGenericEditor() const { return false; }
    /// The window's position on the desktop, when it has one.
    virtual bool Position(int& /*left*/, int& /*top*/) const { return false; }

    /// Raised by the window: the user closes it (the handler may destroy the window, so the
    /// window touches nothing of itself after calling it), it becomes or stops being active.
    std::function<void()> OnClose;
    std::function<void()> OnActivate;
    std::function<void()> OnDeactivate;
};

/// Creates the windows a plugin object owns (ShowEdit without a window of the caller's).
class IEditorWindowFactory {
public:
    virtual ~IEditorWindowFactory() = default;
    /// A top-level tool window without owner, centred on the desktop, not yet shown.
    virtual std::unique_ptr<IEditorWindow> CreateToolWindow() = 0;
    /// The editor window of plugin slot 0-19 (it keeps its placement per slot); a tool window
    /// unless the factory knows better.
    virtual std::unique_ptr<IEditorWindow> CreateSlotWindow(int /*slot*/) {
        return CreateToolWindow();
    }
};

/// Installs the factory (null restores the headless one). Window thread.
void SetEditorWindowFactory(IEditorWindowFactory* factory);
IEditorWindowFactory& EditorWindowFactory();

/// The headless window: keeps caption, size, visibility and controls. Its handle is 0, so
/// plugins with their own editor are never asked to draw into it by a real display. Tests
/// drive it through the Simulate... calls.
class THeadlessEditorWindow final : public IEditorWindow {
public:
    /// Pixels per character of the label font.
    static constexpr int kCharWidth = 6;

    TWindowHandle Handle() const override { return handle; }
    void SetCaption(const std::string& text) override { caption = text; }
    std::string Caption() const override { return caption; }
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override { return clientWidth; }
    int ClientHeight() const override { return clientHeight; }
    int Width() const override { return clientWidth; }
    void Show() override { visible = true; }
    void Hide() override { visible = false; }
    bool Visible() const override { return visible; }
    TEditorControl* AddControl(std::unique_ptr<TEditorControl> control) override;
    TEditorControl* FindControl(const std::string& name) override;
    bool RemoveControl(const std::string& name) override;
    void ControlChanged(TEditorControl& /*control*/) override {}
    int TextWidth(const std::string& text) const override;

    /// Names of the controls in creation order.
    std::vector<std::string> ControlNames() const;
    /// Pretends to be a native window with this handle.
    void SetHandle(TWindowHandle value) { handle = value; }

    /// Runs OnClose as a user's close would. The window may be gone afterwards.
    void SimulateClose();
    void SimulateActivate();
    void SimulateDeactivate();
    /// Sets a control's Position (bars) or ItemIndex (lists) and runs its OnChange, as a user
    /// would. Returns false when there is no such control.
    bool SimulateUserChange(const std::string& name, int value);

private:
    TWindowHandle handle = 0;
    std::string caption;
    int clientWidth = 0;
    int clientHeight = 0;
    bool visible = false;
    std::vector<std::unique_ptr<TEditorControl>> controls;
};

} // namespace peldor
