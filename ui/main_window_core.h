#pragma once
// What the main window needs of the program's core: the start-up's results, the idle handler,
// the 50 ms timer, the project actions, the language, the placement and the remote commands.
// The window only turns its events into these calls and shows what they leave; app/
// implements the interface over the main controller.
//
// Window thread only, unless a method says otherwise.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace peldor {

class IAudioSettingsCore;
class IWindowLayout;
class IMixerCore;
class IProjectViews;
struct TPluginMenu;
struct TWindowMessage;

/// The menu entries that depend on the program's state.
struct TMainMenuEntries {
    bool Close = false, SaveAs = false, Save = false, MidiSettings = false, ProjectSettings = false,
         VstEffects = false, VstInstruments = false, Mixers = false, ProjectWindow = false,
         Inspector = false;
    bool Cut = false, Copy = false, Paste = false;
    /// The four recent-file items: caption, hint (the full path) and enabled.
    std::array<std::string, 4> RecentCaption;
    std::array<std::string, 4> RecentHint;
    std::array<bool, 4> RecentEnabled{};
};

/// The window's normal placement and its state (0 normal, 1 minimised, 2 maximised).
struct TMainWindowPlacement {
    std::int32_t Left = 0, Top = 0, Width = 400, Height = 300;
    std::int32_t State = 2;
};

inline constexpr std::int16_t kLanguageCodeEnglish = 1033;
inline constexpr std::int16_t kLanguageCodeGerman = 1031;
inline constexpr int kRemoteActionCount = 5;
inline constexpr int kRecentFileItems = 4;

class IMainWindowCore {
public:
    virtual ~IMainWindowCore() = default;

    /// The idle handler (driver kept running, menu entries recomputed).
    virtual void Idle() = 0;
    /// The 50 ms timer duties (plugin idle, overload flag, processor load).
    virtual void Timer() = 0;
    /// Handles a message the MIDI input posted to the main window (the remote commands).
    virtual void HandleWindowMessage(const TWindowMessage& message) = 0;
    /// Runs remote command 0-4 as its menu action does.
    virtual void RunRemoteCommand(int index) = 0;

    virtual bool ProjectOpen() const = 0;
    virtual void NewProject() = 0;
    /// False with the reason already shown when the file could not be read.
    virtual bool OpenProject(const std::filesystem::path& path) = 0;
    virtual bool OpenRecentFile(int item) = 0;
    virtual bool SaveProject() = 0;
    /// An empty path: the dialog was cancelled (the settings are written all the same).
    virtual bool SaveProjectAs(const std::filesystem::path& path) = 0;
    virtual void CloseProject() = 0;
    /// Clears the current part and destroys the project; the window then closes.
    virtual void ExitApp() = 0;
    /// The folder the last project came from or went to; empty when none.
    virtual std::filesystem::path ProjectFolder() const = 0;

    virtual TMainMenuEntries MenuEntries() const = 0;
    virtual std::string Caption() const = 0;
    /// Hints or "OVERLOAD!", sample rate, sample format, "SSE" or "x87".
    virtual std::array<std::string, 4> StatusPanels() const = 0;

    virtual std::int16_t LanguageCode() const = 0;
    virtual void SetLanguage(std::int16_t code) = 0;

    virtual TMainWindowPlacement Placement() const = 0;
    virtual void SetPlacement(const TMainWindowPlacement& placement) = 0;

    /// Hotkey of remote command 0-4: virtual-key code in the low byte, 0x2000 Shift, 0x4000
    /// Ctrl, 0x8000 Alt; 0 for none.
    virtual std::uint16_t RemoteHotkey(int index) const = 0;

    /// Installs the window's views (busy cursor, pending messages); null removes them.
    virtual void SetViews(IProjectViews* views) = 0;

    // ---- The instruments and effects windows ----
    /// The name of the plugin in slot 0-19; empty for an empty slot.
    virtual std::string SlotPluginName(int slot) = 0;
    virtual bool SlotEditorVisible(int slot) = 0;
    /// Shows the slot's editor window when it is hidden, hides it when it is shown; nothing
    /// for an empty slot.
    virtual void ToggleSlotEditor(int slot) = 0;
    /// The choice menus' handler: tag is a catalogue index or -1 for "no instrument"/"no
    /// effect"; recorded in the current song and loaded.
    virtual void ChooseSlotPlugin(int slot, int tag) = 0;
    /// The instrument or effect menu the plugin scan built.
    virtual const TPluginMenu& SlotMenu(bool instruments) const = 0;
    /// Called whenever a loader changed the instrument or the effect slots; empty functions
    /// remove the calls.
    virtual void SetSlotRefresh(std::function<void()> instruments,
                                std::function<void()> effects) = 0;
    /// A window's placement in its settings section, with defaults for missing keys.
    virtual TMainWindowPlacement ReadPlacement(const std::string& section,
                                               const TMainWindowPlacement& defaults) const = 0;
    virtual void WritePlacement(const std::string& section,
                                const TMainWindowPlacement& placement) = 0;

    /// The audio settings dialog's operations; null when the program has none.
    virtual IAudioSettingsCore* AudioSettings() { return nullptr; }
    // ---- The mixer windows ----
    /// What the mixer windows reach the program through; null: no mixer windows.
    virtual IMixerCore* Mixers() { return nullptr; }

    // ---- The window layout in the project file ----
    /// Makes windows the place the project file's window records are written from and read
    /// into; null goes back to the records the core keeps. Returns those kept records, where
    /// windows sends the records of windows it does not place itself (null when none).
    virtual IWindowLayout* SetWindowLayout(IWindowLayout* /*windows*/) { return nullptr; }

    // ---- The plugin folder ----
    /// Reads every library of folder (empty: the folder of the last scan) again, cache or not,
    /// and makes the catalogues and menus afresh. Refused (false, nothing done) while a project
    /// is open, since projects name their plugins by their place in the catalogues, and when
    /// there is no folder.
    virtual bool RescanPlugins(const std::string& /*folder*/) { return false; }
    /// The libraries the last scan left out: file and reason.
    virtual std::vector<std::pair<std::string, std::string>> ScanFailures() const { return {}; }
    /// The plugin folder of the last scan; empty when none.
    virtual std::string PluginFolder() const { return {}; }
};

} // namespace peldor
