#include "plugins/slots.h"

#include "engine/event_queue.h"
#include "engine/held_notes.h"
#include "engine/processor.h"
#include "plugins/host_values.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/plugin_fpu.h"
#include "plugins/vst_host.h"
#include "project/project_model.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

namespace peldor {
namespace {

constexpr std::int32_t kPlaceholderCount = kSlotCount;

bool IsInstrumentSlot(std::int32_t slot) {
    return slot >= 0 && slot < kInstrumentSlotCount;
}

bool IsEffectSlot(std::int32_t slot) {
    return slot >= kInstrumentSlotCount && slot < kSlotCount;
}

bool InSlotRange(std::int32_t slot) {
    return slot >= 0 && slot < kSlotCount;
}

const TPluginCatalogue& CatalogueOf(std::int32_t slot) {
    return IsInstrumentSlot(slot) ? InstrumentCatalogue : EffectCatalogue;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

/// Why a plugin object failed to open: the loader's own reason when it has one.
std::string OpenFailure(const TVstPlugIn& plugin, const char* raised) {
    const std::string& loadError = plugin.LastLoadError();
    if (loadError.empty()) {
        return raised;
    }
    return std::string(raised) + " (" + loadError + ")";
}

} // namespace

TPluginSlots::TPluginSlots(TVstHost& theHost, ISlotDriver& theDriver, TProcessor* theProcessor)
    : host(theHost), driver(theDriver), processor(theProcessor) {
    constexpr std::int32_t kDefaultWindowPosition = 0;
    windowPositions.fill({kDefaultWindowPosition, kDefaultWindowPosition});
}

TPluginSlots::~TPluginSlots() {
    // The plugin objects may still point at the slot windows; they must not outlive them
    // pointing there.
    for (std::int32_t i = 0; i < host.VstPlugIns().Count(); ++i) {
        TVstPlugIn* plugin = host.VstPlugIns().Items(i);
        for (const auto& window : windows) {
            if (window != nullptr && plugin->EditorWindow() == window.get()) {
                plugin->CloseEdit();
                plugin->SetEditorWindow(nullptr);
            }
        }
    }
}

void TPluginSlots::CreateVstHost(std::int32_t blockSize) {
    host.SetBlockSize(blockSize);
    for (std::int32_t i = 0; i < kPlaceholderCount; ++i) {
        host.VstPlugIns().Add();
    }
}

// ---- Helpers ------------------------------------------------------------------------------------

void TPluginSlots::Busy(bool busy) {
    if (views.BusyCursor) {
        views.BusyCursor(busy);
    }
}

void TPluginSlots::Pending() {
    if (views.ProcessMessages) {
        views.ProcessMessages();
    }
}

void TPluginSlots::Refresh(bool instrument) {
    const auto& refresh = instrument ? views.RefreshInstrumentSlots : views.RefreshEffectSlots;
    if (refresh) {
        refresh();
    }
}

void TPluginSlots::Resume(bool driverWasActive) {
    if (driverWasActive) {
        driver.SetDriverActive(true);
    }
    // The workers' passes run on the driver's thread from its next buffer on; nothing to run
    // here. Taking part in a pass from this thread would render plugins into buffers the
    // driver's thread is already mixing, since its wait covers the worker threads only.
}

IEditorWindow& TPluginSlots::EnsureSlotWindow(std::int32_t slot) {
    std::unique_ptr<IEditorWindow>& window = windows[static_cast<std::size_t>(slot)];
    if (window == nullptr) {
        window = EditorWindowFactory().CreateToolWindow();
        window->SetCaption("VST");
    }
    return *window;
}

void TPluginSlots::SizeWindowToEditor(IEditorWindow& window, TVstPlugIn& plugin) {
    const TEditRect rect = plugin.EditGetRect();
    window.SetClientSize(rect.right - rect.left, rect.bottom - rect.top);
}

void TPluginSlots::InstallHandlers(TVstPlugIn& plugin, bool instrument) {
    plugin.OnAudioMasterIdle = [](TVstPlugIn& sender) { sender.Idle(); };
    plugin.OnAudioMasterNeedIdle = [](TVstPlugIn& sender) { sender.EditIdle(); };
    plugin.OnAudioMasterWantMidi = [](TVstPlugIn&) { NoteWantsMidi(); };
    if (instrument) {
        plugin.OnAudioMasterBeginEdit = nullptr;
    }
}

void TPluginSlots::RemoveSlotPlugin(std::int32_t slot) {
    const std::int32_t index = SlotMap[static_cast<std::size_t>(slot)];
    TVstPlugIn* plugin = host.VstPlugIns().Items(index);
    if (plugin != nullptr) {
        plugin->CloseEdit();
        if (IEditorWindow* window = SlotWindow(slot)) {
            window->Hide();
        }
        plugin->SetActive(false);
        plugin->Unload();
        plugin->SetDLLFileName({});
        plugin->SetEditorWindow(nullptr);
        host.VstPlugIns().Delete(index);
    }
    ReleaseSlotEntry(slot);
    adapters[static_cast<std::size_t>(slot)].Bind(nullptr);
    // The notes it was playing went with it; their note-offs have nowhere to go.
    ForgetSlotNotes(slot);
}

// ---- Loaders ------------------------------------------------------------------------------------

std::optional<PlgListRecord> TPluginSlots::BeginLoad(std::int32_t slot, std::int32_t index,
                                                     bool& driverWasActive) {
    const auto s = static_cast<std::size_t>(slot);
    const bool instrument = IsInstrumentSlot(slot);
    if (processor != nullptr) {
        processor->StopWorkers();
    }
    if (index < 0) {
        problems[s].clear();
        if (SlotMap[s] == -1) {
            return std::nullopt;
        }
        driverWasActive = driver.DriverActive();
        driver.SetDriverActive(false);
        RemoveSlotPlugin(slot);
        Refresh(instrument);
        Resume(driverWasActive);
        return std::nullopt;
    }
    const TPluginCatalogue& catalogue = CatalogueOf(slot);
    if (static_cast<std::size_t>(index) >= catalogue.size()) {
        return std::nullopt;
    }
    PlgListRecord entry = catalogue[static_cast<std::size_t>(index)];
    if (!FileExists(entry.LibraryFile)) {
        problems[s] = entry.LibraryFile + " is missing";
        return std::nullopt;
    }

    Busy(true);
    Pending();
    driverWasActive = driver.DriverActive();
    driver.SetDriverActive(false);
    if (SlotMap[s] != -1) {
        RemoveSlotPlugin(slot);
    }
    return entry;
}

void TPluginSlots::AbandonLoad(std::int32_t slot, TVstPlugIn& plugin, std::string why,
                               bool driverWasActive) {
    // The object stays in the collection, closed; the slot is empty again.
    problems[static_cast<std::size_t>(slot)] = std::move(why);
    SlotMap[static_cast<std::size_t>(slot)] = -1;
    plugin.CloseEdit();
    plugin.SetActive(false);
    plugin.Unload();
    plugin.SetDLLFileName({});
    Refresh(IsInstrumentSlot(slot));
    Resume(driverWasActive);
    Busy(false);
    Pending();
}

void TPluginSlots::LoadInstrumentSlot(std::int32_t slot, std::int32_t index) {
    if (ActiveProject() == nullptr || !IsInstrumentSlot(slot)) {
        return;
    }
    const auto s = static_cast<std::size_t>(slot);
    bool wasActive = false;
    const std::optional<PlgListRecord> entry = BeginLoad(slot, index, wasActive);
    if (!entry) {
        return;
    }

    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.SetDLLFileName(entry->LibraryFile);
    InstallHandlers(plugin, true);
    TellHostTheDriverRate();
    // Whatever was played into the slot before belongs to no plugin, least of all this one.
    ClearQueuedEvents(slot);
    SlotMap[s] = plugin.Index();
    try {
        plugin.SetActive(true);
    } catch (const EVstError& error) {
        AbandonLoad(slot, plugin, OpenFailure(plugin, error.what()), wasActive);
        return;
    }
    problems[s].clear();
    adapters[s].Bind(&plugin);

    plugin.SetBlockSizeAndSampleRate(driver.DriverBufferSize(),
                                     static_cast<float>(driver.DriverSampleRate()));
    plugin.ConnectOutput(0, true);
    plugin.ConnectOutput(1, true);

    IEditorWindow& window = EnsureSlotWindow(slot);
    plugin.SetEditorWindow(&window);
    window.SetCaption("[VSTi " + std::to_string(slot + 1) + "] " + plugin.GetEffectName());
    window.Show();
    plugin.EditOpenIn(&window);
    SizeWindowToEditor(window, plugin);

    Refresh(true);
    Resume(wasActive);
    Busy(false);
    Pending();
}

void TPluginSlots::LoadEffectSlot(std::int32_t slot, std::int32_t index) {
    if (ActiveProject() == nullptr || !IsEffectSlot(slot)) {
        return;
    }
    const auto s = static_cast<std::size_t>(slot);
    bool wasActive = false;
    const std::optional<PlgListRecord> entry = BeginLoad(slot, index, wasActive);
    if (!entry) {
        return;
    }

    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.SetDLLFileName(entry->LibraryFile);
    TellHostTheDriverRate();
    try {
        if (entry->IsShell == 1) {
            CurrentShellPluginId = entry->ShellID;
            if (!plugin.LoadLibraryModule(entry->LibraryFile)) {
                problems[s] = plugin.LastLoadError();
                Resume(wasActive);
                Busy(false);
                Pending();
                return;
            }
            PreparePluginFpu();
            vst2::AEffect* effect = plugin.CallEntryPoint();
            if (effect != nullptr && effect->uniqueID == 0) {
                effect->uniqueID = entry->ShellID;
            }
            plugin.PlaceEffect(effect);
        }
        plugin.SetActive(true);
    } catch (const EVstError& error) {
        AbandonLoad(slot, plugin, OpenFailure(plugin, error.what()), wasActive);
        return;
    } catch (...) {
        // A shell library's entry function that raises: the same as a failed Open.
        plugin.PlaceEffect(nullptr);
        AbandonLoad(slot, plugin, "the entry function raised an exception", wasActive);
        return;
    }
    Resume(wasActive);

    plugin.SetBlockSizeAndSampleRate(driver.DriverBufferSize(),
                                     static_cast<float>(driver.DriverSampleRate()));
    InstallHandlers(plugin, false);
    plugin.ConnectOutput(0, true);
    plugin.ConnectOutput(1, true);
    plugin.ConnectInput(0, true);
    plugin.ConnectInput(1, true);
    problems[s].clear();
    adapters[s].Bind(&plugin);
    // The plugin is open: the engine may take it from its next buffer on.
    SlotMap[s] = plugin.Index();

    IEditorWindow& window = EnsureSlotWindow(slot);
    plugin.SetEditorWindow(&window);
    window.Show();
    plugin.ShowEdit();
    window.SetCaption("[VST " + std::to_string(slot - kInstrumentSlotCount + 1) + "] " +
                      plugin.GetEffectName());
    SizeWindowToEditor(window, plugin);
    plugin.EditOpenIn(&window);

    Refresh(false);
    Busy(false);
    Pending();
}

void TPluginSlots::ReleaseSlotEntry(std::int32_t slot) {
    if (!InSlotRange(slot)) {
        return;
    }
    const std::int32_t removed = SlotMap[static_cast<std::size_t>(slot)];
    if (removed == -1) {
        return;
    }
    for (auto& entry : SlotMap) {
        if (entry > removed) {
            entry = entry - 1;
        }
    }
    SlotMap[static_cast<std::size_t>(slot)] = -1;
    ClearQueuedEvents(slot);
}

void TPluginSlots::UnloadAllPlugins() {
    if (processor != nullptr) {
        processor->StopWorkers();
    }
    for (std::int32_t i = 0; i < host.VstPlugIns().Count(); ++i) {
        TVstPlugIn* plugin = host.VstPlugIns().Items(i);
        if (plugin->Active()) {
            plugin->CloseEdit();
            plugin->SetActive(false);
            plugin->Unload();
            plugin->SetDLLFileName({});
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kUnloadSettleMs));
}

void TPluginSlots::UnloadSlots() {
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        TVstPlugIn* plugin = PluginInSlot(slot);
        if (plugin != nullptr && !plugin->DLLFileName().empty()) {
            plugin->CloseEdit();
            plugin->SetActive(false);
            plugin->Unload();
            plugin->SetDLLFileName({});
            SlotMap[s] = -1;
            ClearQueuedEvents(slot);
            adapters[s].Bind(nullptr);
            ForgetSlotNotes(slot);
        }
        if (windows[s] != nullptr) {
            windows[s]->Hide();
        }
    }
}

void TPluginSlots::TellHostTheDriverRate() {
    // Open sends the host's rate to the plugin, and plugins ask for it: it must be the rate
    // the driver runs at, or every note sounds off pitch.
    const double rate = driver.DriverSampleRate();
    if (rate > 0.0) {
        host.VstTimeInfo().SetSampleRate(rate);
    }
}

void TPluginSlots::ApplyDriverFormat() {
    TellHostTheDriverRate();
    const auto rate = static_cast<float>(driver.DriverSampleRate());
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (TVstPlugIn* plugin = PluginInSlot(slot)) {
            plugin->SetSampleRate(rate);
        }
    }
    host.SetBlockSize(driver.DriverBufferSize());
}

void TPluginSlots::IdlePass() {
    for (std::int32_t i = 0; i < host.VstPlugIns().Count(); ++i) {
        TVstPlugIn* plugin = host.VstPlugIns().Items(i);
        plugin->Idle();
        plugin->EditIdle();
    }
}

// ---- Choice handlers ----------------------------------------------------------------------------

void TPluginSlots::ChooseInstrument(std::int32_t slot, std::int32_t tag) {
    Choose(slot, tag, true);
}

void TPluginSlots::ChooseEffect(std::int32_t slot, std::int32_t tag) {
    Choose(slot, tag, false);
}

void TPluginSlots::Choose(std::int32_t slot, std::int32_t tag, bool instrument) {
    TProject* project = ActiveProject();
    const TPluginCatalogue& catalogue = instrument ? InstrumentCatalogue : EffectCatalogue;
    if (project == nullptr || tag < -1 || tag >= static_cast<std::int32_t>(catalogue.size())) {
        return;
    }
    TSong* song = project->SongAt(CurrentSong);
    if (song == nullptr || !(instrument ? IsInstrumentSlot(slot) : IsEffectSlot(slot))) {
        return;
    }
    TPluginSettings& settings = song->SlotSettings[static_cast<std::size_t>(slot)];
    settings.PluginIndex = tag;
    settings.IsInstrument = instrument ? 1 : 0;
    settings.EditorVisible = tag >= 0 ? 1 : 0;
    if (instrument) {
        LoadInstrumentSlot(slot, tag);
    } else {
        LoadEffectSlot(slot, tag);
    }
    if (tag >= 0) {
        song->RefreshSlotInParts(slot);
    } else {
        song->ClearSlotInParts(slot);
    }
}

// ---- ISlotHost ----------------------------------------------------------------------------------

TVstPlugIn* TPluginSlots::PluginInSlot(std::int32_t slot) const {
    if (!InSlotRange(slot)) {
        return nullptr;
    }
    const std::int32_t index = SlotMap[static_cast<std::size_t>(slot)];
    return index >= 0 ? host.VstPlugIns().Items(index) : nullptr;
}

ISlotPlugin* TPluginSlots::SlotPlugin(std::int32_t slot) {
    TVstPlugIn* plugin = PluginInSlot(slot);
    if (plugin == nullptr) {
        return nullptr;
    }
    TSlotPlugin& adapter = adapters[static_cast<std::size_t>(slot)];
    adapter.Bind(plugin);
    return &adapter;
}

bool TPluginSlots::CatalogueEntry(std::int32_t slot, std::int32_t pluginIndex,
                                  TCatalogueEntryInfo& entry) {
    if (!InSlotRange(slot) || pluginIndex < 0) {
        return false;
    }
    const TPluginCatalogue& catalogue = CatalogueOf(slot);
    if (static_cast<std::size_t>(pluginIndex) >= catalogue.size()) {
        return false;
    }
    const PlgListRecord& record = catalogue[static_cast<std::size_t>(pluginIndex)];
    entry.LibraryFile = record.LibraryFile;
    entry.ProgramChunks = record.ProgramChunks != 0;
    return true;
}

IEditorWindow* TPluginSlots::SlotWindow(std::int32_t slot) const {
    return InSlotRange(slot) ? windows[static_cast<std::size_t>(slot)].get() : nullptr;
}

bool TPluginSlots::EditorWindowVisible(std::int32_t slot) {
    const IEditorWindow* window = SlotWindow(slot);
    return window != nullptr && window->Visible();
}

bool TPluginSlots::EditorWindowPosition(std::int32_t slot, std::int32_t& left, std::int32_t& top) {
    if (SlotWindow(slot) == nullptr) {
        return false;
    }
    left = windowPositions[static_cast<std::size_t>(slot)].first;
    top = windowPositions[static_cast<std::size_t>(slot)].second;
    return true;
}

void TPluginSlots::ShowEditor(std::int32_t slot) {
    TVstPlugIn* plugin = PluginInSlot(slot);
    if (plugin == nullptr) {
        return;
    }
    IEditorWindow& window = EnsureSlotWindow(slot);
    if (plugin->EditorWindow() != &window) {
        plugin->SetEditorWindow(&window);
    }
    window.Show();
    plugin->EditOpenIn(&window);
}

void TPluginSlots::HideEditor(std::int32_t slot) {
    if (TVstPlugIn* plugin = PluginInSlot(slot)) {
        plugin->CloseEdit();
    }
    if (IEditorWindow* window = SlotWindow(slot)) {
        window->Hide();
    }
}

const std::string& TPluginSlots::SlotProblem(std::int32_t slot) const {
    static const std::string none;
    return InSlotRange(slot) ? problems[static_cast<std::size_t>(slot)] : none;
}

std::string TPluginSlots::SlotName(std::int32_t slot) {
    return SlotDisplayName(slot);
}

} // namespace peldor
