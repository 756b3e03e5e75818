#include "plugins/slots.h"

#include "engine/block_handshake.h"
#include "engine/event_queue.h"
#include "engine/held_notes.h"
#include "engine/processor.h"
#include "plugins/host_callback.h"
#include "plugins/host_values.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/plugin_fpu.h"
#include "plugins/plugin_scan.h"
#include "plugins/vst_host.h"
#include "project/project_model.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

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
    // From here on the engine finds each slot's plugin where the loaders publish it.
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        Publish(slot);
    }
}

TPluginSlots::~TPluginSlots() {
    host.StopPublishingSlots();
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

IEditorWindow& TPluginSlots::EnsureSlotWindow(std::int32_t slot) {
    std::unique_ptr<IEditorWindow>& window = windows[static_cast<std::size_t>(slot)];
    if (window == nullptr) {
        window = EditorWindowFactory().CreateSlotWindow(slot);
        window->SetCaption("VST");
        // Closed by the user: the editor closes, the window hides and the "Visible" switches
        // follow.
        window->OnClose = [this, slot]() {
            HideEditor(slot);
            Refresh(true);
            Refresh(false);
        };
    }
    return *window;
}

void TPluginSlots::SizeWindowToEditor(IEditorWindow& window, TVstPlugIn& plugin) {
    if (window.Handle() == 0) {
        // No windows (headless): nothing to size, and a plugin asked for its editor's size
        // may try to reach a display that is not there.
        return;
    }
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

void TPluginSlots::Publish(std::int32_t slot) {
    host.PublishSlotPlugin(slot, PluginInSlot(slot));
}

void TPluginSlots::ForgetSlotTraffic(std::int32_t slot) {
    // Whatever was played into the slot belongs to the plugin that leaves it, and so do the
    // notes it holds: their note-offs have nowhere to go.
    ClearQueuedEvents(slot);
    ForgetSlotNotes(slot);
}

bool TPluginSlots::Retire(TVstPlugIn* plugin) {
    if (plugin == nullptr) {
        return true;
    }
    if (!WaitForAudioThreadToLeave()) {
        // A block still runs that may be inside the plugin: leaving it open in the collection
        // is safe, closing it is not.
        return false;
    }
    plugin->SetActive(false);
    plugin->Unload();
    plugin->SetDLLFileName({});
    plugin->SetEditorWindow(nullptr);
    const std::int32_t index = host.VstPlugIns().IndexOf(plugin);
    host.VstPlugIns().Delete(index);
    // The objects behind it moved down by one; the map moves with them.
    for (auto& entry : SlotMap) {
        if (index >= 0 && entry > index) {
            entry = entry - 1;
        }
    }
    return true;
}

void TPluginSlots::RetireReplaced(std::int32_t slot, TVstPlugIn* old) {
    if (!Retire(old)) {
        problems[static_cast<std::size_t>(slot)] = kStillPlayingProblem;
    }
}

void TPluginSlots::RemoveSlotPlugin(std::int32_t slot) {
    const auto s = static_cast<std::size_t>(slot);
    TVstPlugIn* plugin = PluginInSlot(slot);
    if (plugin != nullptr) {
        plugin->CloseEdit();
    }
    if (IEditorWindow* window = SlotWindow(slot)) {
        window->Hide();
    }
    SlotMap[s] = -1;
    Publish(slot);
    ForgetSlotTraffic(slot);
    adapters[s].Bind(nullptr);
    RetireReplaced(slot, plugin);
}

// ---- Loaders ------------------------------------------------------------------------------------

std::optional<PlgListRecord> TPluginSlots::BeginLoad(std::int32_t slot, std::int32_t index) {
    const auto s = static_cast<std::size_t>(slot);
    const bool instrument = IsInstrumentSlot(slot);
    // The workers keep running: the plugin is swapped between blocks and the old one retired
    // after the handshake, which waits for the workers' renders too.
    if (index < 0) {
        problems[s].clear();
        if (SlotMap[s] == -1) {
            return std::nullopt;
        }
        RemoveSlotPlugin(slot);
        Refresh(instrument);
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
    // A library that failed its probe may crash or hang this process just the same.
    if (const TScanFailure* failed = FindPluginProblem(entry.LibraryFile)) {
        problems[s] = entry.LibraryFile + " was left out by the plugin scan: " + failed->Reason;
        return std::nullopt;
    }

    Busy(true);
    Pending();
    // The editor of the plugin being replaced closes first, as the new one opens in the same
    // window; the plugin itself plays on until the new one takes its place.
    if (TVstPlugIn* old = PluginInSlot(slot)) {
        old->CloseEdit();
        if (IEditorWindow* window = SlotWindow(slot)) {
            window->Hide();
        }
    }
    return entry;
}

void TPluginSlots::AbandonLoad(std::int32_t slot, TVstPlugIn& plugin, std::string why,
                               TVstPlugIn* old) {
    // The object stays in the collection, closed. The slot ends up empty: the plugin it had
    // leaves as it would have for the new one.
    plugin.CloseEdit();
    plugin.SetActive(false);
    plugin.Unload();
    plugin.SetDLLFileName({});
    EmptyAfterFailedLoad(slot, std::move(why), old);
}

void TPluginSlots::EmptyAfterFailedLoad(std::int32_t slot, std::string why, TVstPlugIn* old) {
    const auto s = static_cast<std::size_t>(slot);
    SlotMap[s] = -1;
    Publish(slot);
    if (old != nullptr) {
        ForgetSlotTraffic(slot);
        adapters[s].Bind(nullptr);
        Retire(old);
    }
    problems[s] = std::move(why);
    Refresh(IsInstrumentSlot(slot));
    Busy(false);
    Pending();
}

void TPluginSlots::LoadInstrumentSlot(std::int32_t slot, std::int32_t index) {
    if (ActiveProject() == nullptr || !IsInstrumentSlot(slot)) {
        return;
    }
    const auto s = static_cast<std::size_t>(slot);
    const std::optional<PlgListRecord> entry = BeginLoad(slot, index);
    if (!entry) {
        return;
    }

    // Loaded, opened and prepared while the driver runs and the old plugin still plays.
    TVstPlugIn* old = PluginInSlot(slot);
    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.SetDLLFileName(entry->LibraryFile);
    InstallHandlers(plugin, true);
    TellHostTheDriverRate();
    try {
        plugin.SetActive(true);
    } catch (const EVstError& error) {
        AbandonLoad(slot, plugin, OpenFailure(plugin, error.what()), old);
        return;
    }
    problems[s].clear();

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

    // Between two blocks: the engine renders the new plugin from its next block on.
    SlotMap[s] = plugin.Index();
    Publish(slot);
    ForgetSlotTraffic(slot);
    adapters[s].Bind(&plugin);
    RetireReplaced(slot, old);

    Refresh(true);
    Busy(false);
    Pending();
}

void TPluginSlots::LoadEffectSlot(std::int32_t slot, std::int32_t index) {
    if (ActiveProject() == nullptr || !IsEffectSlot(slot)) {
        return;
    }
    const auto s = static_cast<std::size_t>(slot);
    const std::optional<PlgListRecord> entry = BeginLoad(slot, index);
    if (!entry) {
        return;
    }

    TVstPlugIn* old = PluginInSlot(slot);
    TVstPlugIn& plugin = host.VstPlugIns().Add();
    plugin.SetDLLFileName(entry->LibraryFile);
    TellHostTheDriverRate();
    try {
        if (entry->IsShell == 1) {
            CurrentShellPluginId = entry->ShellID;
            if (!plugin.LoadLibraryModule(entry->LibraryFile)) {
                EmptyAfterFailedLoad(slot, plugin.LastLoadError(), old);
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
        AbandonLoad(slot, plugin, OpenFailure(plugin, error.what()), old);
        return;
    } catch (...) {
        // A shell library's entry function that raises: the same as a failed Open.
        plugin.PlaceEffect(nullptr);
        AbandonLoad(slot, plugin, "the entry function raised an exception", old);
        return;
    }

    plugin.SetBlockSizeAndSampleRate(driver.DriverBufferSize(),
                                     static_cast<float>(driver.DriverSampleRate()));
    InstallHandlers(plugin, false);
    plugin.ConnectOutput(0, true);
    plugin.ConnectOutput(1, true);
    plugin.ConnectInput(0, true);
    plugin.ConnectInput(1, true);
    problems[s].clear();
    adapters[s].Bind(&plugin);
    // The plugin is open and prepared: the engine takes it from its next block on.
    SlotMap[s] = plugin.Index();
    Publish(slot);
    RetireReplaced(slot, old);

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
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        host.PublishSlotPlugin(slot, nullptr);
    }
    if (!WaitForAudioThreadToLeave()) {
        return; // a block is stuck in a plugin: closing them now could crash it
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
    std::vector<TVstPlugIn*> leaving;
    for (std::int32_t slot = 0; slot < kSlotCount; ++slot) {
        const auto s = static_cast<std::size_t>(slot);
        TVstPlugIn* plugin = PluginInSlot(slot);
        if (plugin != nullptr && !plugin->DLLFileName().empty()) {
            plugin->CloseEdit();
            SlotMap[s] = -1;
            Publish(slot);
            ForgetSlotTraffic(slot);
            adapters[s].Bind(nullptr);
            leaving.push_back(plugin);
        }
        if (windows[s] != nullptr) {
            windows[s]->Hide();
        }
    }
    if (leaving.empty() || !WaitForAudioThreadToLeave()) {
        return;
    }
    for (TVstPlugIn* plugin : leaving) {
        plugin->SetActive(false);
        plugin->Unload();
        plugin->SetDLLFileName({});
    }
}

void TPluginSlots::TellHostTheDriverRate() {
    // Open sends the host's rate to the plugin, and plugins ask for it: it must be the rate
    // the driver runs at, or every note sounds off pitch.
    // Plugins read it while they render: it is written only when it changes.
    const double rate = driver.DriverSampleRate();
    if (rate > 0.0 && rate != host.VstTimeInfo().SampleRate()) {
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
        RaiseDeferredIdleRequests(*plugin);
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
    const IEditorWindow* window = SlotWindow(slot);
    if (window == nullptr) {
        return false;
    }
    if (int x = 0, y = 0; window->Position(x, y)) {
        left = x;
        top = y;
        return true;
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
