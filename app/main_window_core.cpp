#include "app/main_window_core.h"

#include "midi/switching.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/vst_plugin.h"
#include "project/project_model.h"
#include "project/project_options.h"

namespace peldor {

void TMainWindowCore::Idle() {
    controller.Idle();
}

void TMainWindowCore::Timer() {
    controller.UITimerTimer();
}

void TMainWindowCore::HandleWindowMessage(const TWindowMessage& message) {
    HandleMainWindowMessage(message);
}

void TMainWindowCore::RunRemoteCommand(int index) {
    if (index >= 0 && index < kRemoteCommandCount) {
        peldor::RunRemoteCommand(static_cast<std::uint32_t>(index));
    }
}

bool TMainWindowCore::ProjectOpen() const {
    return ActiveProject() != nullptr;
}

void TMainWindowCore::NewProject() {
    controller.NewProject();
}

bool TMainWindowCore::OpenProject(const std::filesystem::path& path) {
    return controller.OpenProject(path);
}

bool TMainWindowCore::OpenRecentFile(int item) {
    return controller.OpenRecentFile(item);
}

bool TMainWindowCore::SaveProject() {
    return controller.SaveProject();
}

bool TMainWindowCore::SaveProjectAs(const std::filesystem::path& path) {
    return controller.SaveProjectAs(path);
}

void TMainWindowCore::CloseProject() {
    controller.CloseProject();
}

void TMainWindowCore::ExitApp() {
    controller.ExitApp();
}

std::filesystem::path TMainWindowCore::ProjectFolder() const {
    if (const TProject* project = ActiveProject();
        project != nullptr && !project->Settings->FileName.empty()) {
        return std::filesystem::path(project->Settings->FileName).parent_path();
    }
    const std::string& newest = controller.RecentFiles()[0];
    return newest.empty() ? std::filesystem::path{} : std::filesystem::path(newest).parent_path();
}

TMainMenuEntries TMainWindowCore::MenuEntries() const {
    return controller.MenuState();
}

std::string TMainWindowCore::Caption() const {
    return controller.Caption();
}

std::array<std::string, 4> TMainWindowCore::StatusPanels() const {
    return controller.StatusPanels();
}

std::int16_t TMainWindowCore::LanguageCode() const {
    return controller.LanguageCode();
}

void TMainWindowCore::SetLanguage(std::int16_t code) {
    controller.SetLanguage(code);
}

TMainWindowPlacement TMainWindowCore::Placement() const {
    return controller.FormPlacement();
}

void TMainWindowCore::SetPlacement(const TMainWindowPlacement& placement) {
    controller.SetFormPlacement(placement);
}

std::uint16_t TMainWindowCore::RemoteHotkey(int index) const {
    if (index < 0 || index >= kRemoteCommandCount) {
        return 0;
    }
    return static_cast<std::uint16_t>(
        ProjectOptions().RemoteCommands[static_cast<std::size_t>(index)].Hotkey.Load());
}

void TMainWindowCore::SetViews(IProjectViews* views) {
    controller.SetWindowViews(views);
}

IWindowLayout* TMainWindowCore::SetWindowLayout(IWindowLayout* windows) {
    return controller.SetWindowLayout(windows);
}

TPluginSlots* TMainWindowCore::Slots() const {
    // The slots exist from the start-up's engine creation until the shut-down destroys the
    // engine; the windows may outlive them.
    return controller.Processor() != nullptr ? &controller.Slots() : nullptr;
}

std::string TMainWindowCore::SlotPluginName(int slot) {
    TVstPlugIn* plugin = Slots() != nullptr ? Slots()->PluginInSlot(slot) : nullptr;
    return plugin != nullptr ? plugin->GetEffectName() : std::string{};
}

bool TMainWindowCore::SlotEditorVisible(int slot) {
    return Slots() != nullptr && Slots()->EditorWindowVisible(slot);
}

void TMainWindowCore::ToggleSlotEditor(int slot) {
    TPluginSlots* slots = Slots();
    if (slots == nullptr || slots->PluginInSlot(slot) == nullptr) {
        return;
    }
    if (slots->EditorWindowVisible(slot)) {
        slots->HideEditor(slot);
    } else {
        slots->ShowEditor(slot);
    }
}

void TMainWindowCore::ChooseSlotPlugin(int slot, int tag) {
    TPluginSlots* slots = Slots();
    if (slots == nullptr) {
        return;
    }
    if (slot >= 0 && slot < kInstrumentSlotCount) {
        slots->ChooseInstrument(slot, tag);
    } else {
        slots->ChooseEffect(slot, tag);
    }
}

const TPluginMenu& TMainWindowCore::SlotMenu(bool instruments) const {
    return instruments ? InstrumentMenu : EffectMenu;
}

void TMainWindowCore::SetSlotRefresh(std::function<void()> instruments,
                                     std::function<void()> effects) {
    TSlotViews views;
    views.RefreshInstrumentSlots = std::move(instruments);
    views.RefreshEffectSlots = std::move(effects);
    if (TPluginSlots* slots = Slots()) {
        slots->SetViews(std::move(views));
    }
}

TMainWindowPlacement TMainWindowCore::ReadPlacement(const std::string& section,
                                                    const TMainWindowPlacement& defaults) const {
    const TSettingsFile& settings = controller.Settings();
    TMainWindowPlacement placement = defaults;
    placement.Left = settings.ReadInteger(section, "Left", defaults.Left);
    placement.Top = settings.ReadInteger(section, "Top", defaults.Top);
    placement.Width = settings.ReadInteger(section, "Width", defaults.Width);
    placement.Height = settings.ReadInteger(section, "Height", defaults.Height);
    return placement;
}

void TMainWindowCore::WritePlacement(const std::string& section,
                                     const TMainWindowPlacement& placement) {
    controller.Settings().Write(section, {{"Left", std::to_string(placement.Left)},
                                          {"Top", std::to_string(placement.Top)},
                                          {"Width", std::to_string(placement.Width)},
                                          {"Height", std::to_string(placement.Height)}});
}

bool TMainWindowCore::RescanPlugins(const std::string& folder) {
    const std::string target = folder.empty() ? controller.PluginFolder() : folder;
    if (ProjectOpen() || target.empty() || controller.Processor() == nullptr) {
        return false;
    }
    TScanOptions options;
    options.Rescan = true;
    const TScanReport report = ScanPluginFolder(controller.Vst(), target, {}, options);
    controller.SetPluginFolder(target);
    return report.Scanned;
}

std::vector<std::pair<std::string, std::string>> TMainWindowCore::ScanFailures() const {
    std::vector<std::pair<std::string, std::string>> failures;
    for (const TScanFailure& failure : peldor::PluginProblems) {
        failures.emplace_back(failure.LibraryFile, failure.Reason);
    }
    return failures;
}

std::string TMainWindowCore::PluginFolder() const {
    return controller.PluginFolder();
}

} // namespace peldor
