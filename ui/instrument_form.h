#pragma once
// The slot window (TInstrumentForm): a small always-on-top tool window that holds a plugin's
// editor. A plugin with an editor of its own draws into a native child window whose X11 id goes
// to effEditOpen; the window is sized from effEditGetRect and from the plugin's
// audioMasterSizeWindow. Plugins without an editor, and plugins whose editor cannot be embedded
// (no X11, or effEditOpen refused), get the generic editor: the controls the core describes
// (parameter list, sliders, value label), shown here with Qt widgets.
//
// The core owns the window through IEditorWindow. Window thread only, except SetClientSize,
// which a plugin may call from a thread of its own and which is then posted to the window
// thread.

#include "plugins/editor_window.h"
#include "ui/main_window_core.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

namespace peldor {

class TInstrumentForm final : public QWidget, public IEditorWindow {
    Q_OBJECT
public:
    /// The client size before the editor sizes the window.
    static constexpr int kInitialClientWidth = 176;
    static constexpr int kInitialClientHeight = 62;
    /// The generic editor's smallest client area: its slider and value line stay visible.
    static constexpr int kGenericMinWidth = 240;
    static constexpr int kGenericMinHeight = 90;

    /// slot 0-19 reads and writes its placement in the settings section "VST" + slot through
    /// core; slot -1 (a plugin object's own window) or a null core keeps none.
    TInstrumentForm(IMainWindowCore* core, int slot);
    /// Writes the placement of a slot window.
    ~TInstrumentForm() override;

    int Slot() const noexcept { return slot; }
    /// The native child window plugins draw into.
    QWidget* EditorHost() const noexcept { return editorHost; }
    /// The widget showing a generic editor control, or null.
    QWidget* ControlWidget(const std::string& name) const;

    // ---- IEditorWindow ----
    /// The X11 id of the editor host under the xcb platform; 0 elsewhere (offscreen, Wayland).
    TWindowHandle Handle() const override;
    void SetCaption(const std::string& caption) override;
    std::string Caption() const override;
    void SetClientSize(int width, int height) override;
    int ClientWidth() const override { return width(); }
    int ClientHeight() const override { return height(); }
    int Width() const override { return width(); }
    void Show() override;
    void Hide() override;
    bool Visible() const override { return isVisible(); }
    TEditorControl* AddControl(std::unique_ptr<TEditorControl> control) override;
    TEditorControl* FindControl(const std::string& name) override;
    bool RemoveControl(const std::string& name) override;
    void ControlChanged(TEditorControl& control) override;
    int TextWidth(const std::string& text) const override;
    bool FallsBackToGenericEditor() const override { return true; }
    bool Position(int& left, int& top) const override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Control {
        std::unique_ptr<TEditorControl> Data;
        QWidget* Widget = nullptr;
        /// Anchored controls keep this distance to the right edge.
        int RightMargin = 0;
    };

    QWidget* MakeWidget(TEditorControl& control);
    void Load(const Control& entry);
    /// The user moved a control: its value into the description, then the core's handler.
    void UserChanged(TEditorControl& control, int value);
    const Control* Find(const std::string& name) const;

    IMainWindowCore* core;
    int slot;
    QWidget* editorHost = nullptr;
    std::vector<Control> controls;
};

/// Makes the slot windows and the plugin objects' own windows as TInstrumentForm. Install it
/// with SetEditorWindowFactory while the windows exist; window thread.
class TInstrumentFormFactory final : public IEditorWindowFactory {
public:
    explicit TInstrumentFormFactory(IMainWindowCore* theCore) : core(theCore) {}
    std::unique_ptr<IEditorWindow> CreateToolWindow() override;
    std::unique_ptr<IEditorWindow> CreateSlotWindow(int slot) override;

private:
    IMainWindowCore* core;
};

} // namespace peldor
