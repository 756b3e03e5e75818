#pragma once
// The main window's view of the program: IMainWindowCore over the main controller.

#include "app/audio_setup.h"
#include "app/main_controller.h"
#include "app/mixer_core.h"
#include "ui/main_window_core.h"

namespace peldor {

/// Window thread only.
class TMainWindowCore final : public IMainWindowCore {
public:
    explicit TMainWindowCore(TMainController& theController) : controller(theController) {}

    void Idle() override;
    void Timer() override;
    void HandleWindowMessage(const TWindowMessage& message) override;
    void RunRemoteCommand(int index) override;

    bool ProjectOpen() const override;
    void NewProject() override;
    bool OpenProject(const std::filesystem::path& path) override;
    bool OpenRecentFile(int item) override;
    bool SaveProject() override;
    bool SaveProjectAs(const std::filesystem::path& path) override;
    void CloseProject() override;
    void ExitApp() override;
    std::filesystem::path ProjectFolder() const override;

    TMainMenuEntries MenuEntries() const override;
    std::string Caption() const override;
    std::array<std::string, 4> StatusPanels() const override;

    std::int16_t LanguageCode() const override;
    void SetLanguage(std::int16_t code) override;

    TMainWindowPlacement Placement() const override;
    void SetPlacement(const TMainWindowPlacement& placement) override;

    std::uint16_t RemoteHotkey(int index) const override;
    void SetViews(IProjectViews* views) override;

    std::string SlotPluginName(int slot) override;
    bool SlotEditorVisible(int slot) override;
    void ToggleSlotEditor(int slot) override;
    void ChooseSlotPlugin(int slot, int tag) override;
    const TPluginMenu& SlotMenu(bool instruments) const override;
    void SetSlotRefresh(std::function<void()> instruments, std::function<void()> effects) override;
    TMainWindowPlacement ReadPlacement(const std::string& section,
                                       const TMainWindowPlacement& defaults) const override;
    void WritePlacement(const std::string& section, const TMainWindowPlacement& placement) override;
    IMixerCore* Mixers() override { return &mixers; }
    IWindowLayout* SetWindowLayout(IWindowLayout* windows) override;

    IAudioSettingsCore* AudioSettings() override { return &audioSetup; }

    bool RescanPlugins(const std::string& folder) override;
    std::vector<std::pair<std::string, std::string>> ScanFailures() const override;
    std::string PluginFolder() const override;

private:
    /// Null before the start-up and after the shut-down.
    TPluginSlots* Slots() const;

    TMainController& controller;
    TAudioSetup audioSetup{controller};
    TMixerCore mixers{controller};
};

} // namespace peldor
