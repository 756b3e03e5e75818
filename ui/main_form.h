#pragma once
// The main window: the frame with the menu, the actions, the four status panels, the 50 ms
// timer and the idle handler. It owns no program logic: every action is a call on the core
// (IMainWindowCore), after which the window reloads its caption, menu and panels from it.
//
// Window thread only.

#include "midi/window_messages.h"
#include "project/project_views.h"
#include "project/window_layout.h"
#include "ui/main_window_core.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTimer;

namespace peldor {

class TASIOForm;
class TSlotListForm;
class TMixerForm;
class TPrjOptionsForm;
class TMIDIForm;
class TInstrumentFormFactory;
class TPluginProblemsForm;
class TProjectForm;
class TInspectorForm;

/// The file dialogs' filter and default suffix.
inline constexpr const char* kProjectFileFilter = "PELDOR Projects (*.pdp)";
inline constexpr const char* kProjectFileSuffix = "pdp";

/// The help page for a language code: $PELDOR_HELP_DIR, then help/ beside the program, then
/// ../share/peldor/help/ beside it, then the source tree's help/; the German page falls back
/// to the English one. Empty when none exists.
std::filesystem::path FindHelpPage(std::int16_t languageCode);

class TMainForm final : public QMainWindow, private IProjectViews, private IWindowLayout {
    Q_OBJECT
public:
    /// Builds the window (not shown) and installs its views in the core.
    explicit TMainForm(IMainWindowCore& core, QWidget* parent = nullptr);
    ~TMainForm() override;

    /// Reads what the core's start-up left: placement, language, recent files, remote
    /// shortcuts, caption and status panels.
    void LoadFromCore();
    /// Shows the window maximised, as it always starts.
    void ShowMaximisedWithPlacement();

    /// Recomputes the enabled states and the recent-file items from the core.
    void UpdateMenuEntries();
    /// The idle handler: the core's, then the menu, caption and panels; the first one after
    /// LoadFromCore fades the splash window out.
    void ApplicationIdle();
    /// The 50 ms timer.
    void UITimerTimer();

    /// A message the MIDI input posted to the main window (a remote command). Inside an action
    /// it waits for the next idle moment.
    void HandleWindowMessage(const TWindowMessage& message);

    /// The action of a component name ("NewProject", "mnuMRU1", "RemotePanic", ...), or null.
    QAction* Action(const QString& name) const;
    /// Status panel 0-3.
    QString PanelText(int panel) const;
    QLabel* Panel(int panel) const { return panels[static_cast<std::size_t>(panel)]; }
    QTimer* Timer() const { return uiTimer; }
    /// The instruments and effects windows; null before LoadFromCore.
    TSlotListForm* InstrumentsWindow() const { return instrumentsForm; }
    TSlotListForm* EffectsWindow() const { return effectsForm; }
    /// The audio settings dialog; null before LoadFromCore.
    TASIOForm* AsioWindow() const { return asioForm; }
    /// Every existing mixer window reloads a group of its controls (UpdateControls).
    void UpdateMixers(int group);
    /// Mixer window 1-4; null before its menu action first showed it.
    TMixerForm* Mixer(int n) const;
    /// The project options and MIDI settings dialogs; null until first shown.
    TPrjOptionsForm* ProjectOptionsWindow() const { return optionsForm; }
    TMIDIForm* MidiSettingsWindow() const { return midiForm; }
    /// Gives the five remote actions the options' hotkeys (none while hotkeys are disabled).
    void ApplyRemoteHotkeys();
    /// The list of libraries the last rescan left out; null until the first rescan.
    TPluginProblemsForm* PluginProblemsWindow() const { return problemsForm; }
    /// The project window; null until "New Project" or the view menu first showed it.
    TProjectForm* ProjectWindow() const { return projectForm; }
    /// Creates the project window when it does not exist yet (hidden).
    TProjectForm* EnsureProjectWindow();
    /// The inspector; null until the view menu first showed it.
    TInspectorForm* InspectorWindow() const { return inspectorForm; }
    /// Creates the inspector when it does not exist yet (hidden).
    TInspectorForm* EnsureInspectorWindow();

protected:
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // IProjectViews: the busy cursor and pending messages; the lists go to the project window
    // when it exists.
    void SetBusyCursor(bool busy) override;
    void ProcessPendingMessages() override;
    void FillSongList() override;
    void FillPartList(TSong& song) override;
    void FillConnectionList(TPart& part) override;
    void ShowConnectionInInspector(std::int32_t index) override;
    void SelectSong(std::int32_t index) override;
    void SelectPart(std::int32_t index) override;
    void SelectConnection(std::int32_t index) override;
    void UpdateAllMixers() override;

    // IWindowLayout: the mixers' records in the project file are theirs; the other windows'
    // records stay with the core's kept records.
    TWindowLayoutRecord Placement(int window) override;
    void Place(int window, const TWindowLayoutRecord& record) override;

    /// Marks a core call that the timer, the idle handler and remote commands must not enter
    /// from a nested event loop (a message box it shows).
    struct ActionScope {
        explicit ActionScope(TMainForm& theForm) : form(theForm) { ++form.actionDepth; }
        ~ActionScope() { --form.actionDepth; }
        ActionScope(const ActionScope&) = delete;
        ActionScope& operator=(const ActionScope&) = delete;
        TMainForm& form;
    };
    void RunDeferredMessages();

    QAction* AddAction(QMenu* menu, const char* name, const QString& caption, const QString& hint,
                       const QKeySequence& shortcut = {});
    void BuildMenu();
    void BuildStatusBar();
    void RefreshFromCore();
    void FitPanels();
    /// Status panel 0: a hint, "OVERLOAD!" (red and bold) or nothing.
    void ShowHint(const QString& text);
    void StorePlacement();
    QString AskProjectFile(bool save);
    void ShowSorry();

    void ToggleWindow(QWidget* window);
    /// Creates mixer window 1-4 on first use, then shows or hides it.
    void ToggleMixer(int n);
    /// Mixer window 1-4, created when it does not exist yet; null without mixers.
    TMixerForm* EnsureMixer(int n);
    void HookSettingsDialogs();
    void ToggleProjectOptions();
    void ToggleMidiSettings();
    void HideSettingsDialogs();
    void NewProjectExecute();
    void OpenProjectExecute();
    void SaveProjectExecute();
    void SaveProjectAsExecute();
    void CloseProjectExecute();
    void ExitAppExecute();
    void MRUOpen(int item);
    void LanguageExecute(std::int16_t code);
    void HelpContentsExecute();
    void AppAboutExecute();
    void PluginFolderExecute();
    void RescanPluginsExecute();
    /// Scans folder (empty: the current one) again and shows the libraries that failed.
    void Rescan(const std::string& folder);

    IMainWindowCore& core;
    std::array<QLabel*, 4> panels{};
    std::array<QAction*, kRecentFileItems> recentItems{};
    QTimer* uiTimer = nullptr;
    QActionGroup* languages = nullptr;
    TSlotListForm* instrumentsForm = nullptr;
    TSlotListForm* effectsForm = nullptr;
    TASIOForm* asioForm = nullptr;
    std::array<TMixerForm*, 4> mixers{};
    TPrjOptionsForm* optionsForm = nullptr;
    TMIDIForm* midiForm = nullptr;
    /// Makes the slot windows (TInstrumentForm) while this window exists.
    std::unique_ptr<TInstrumentFormFactory> editorFactory;
    TPluginProblemsForm* problemsForm = nullptr;
    TProjectForm* projectForm = nullptr;
    TInspectorForm* inspectorForm = nullptr;
    /// The core's kept window records, for the windows this window does not place itself.
    IWindowLayout* keptLayout = nullptr;
    int busyDepth = 0;
    int actionDepth = 0;
    std::vector<TWindowMessage> deferred;
    bool inIdle = false;
    /// LoadFromCore has run: the start-up is over.
    bool loaded = false;
    bool closing = false;
    bool overloadShown = false;
};

} // namespace peldor
