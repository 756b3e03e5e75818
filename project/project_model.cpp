#include "project/project_model.h"

#include "engine/block_handshake.h"
#include "engine/event_queue.h"
#include "i18n/common_strings.h"
#include "i18n/message_box.h"
#include "i18n/project_strings.h"
#include "project/project_links.h"
#include "project/project_views.h"
#include "project/slot_host.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>
#include <utility>

namespace peldor {

std::int32_t CurrentSong = -1;
std::int32_t CurrentPart = -1;
std::int32_t CurrentConnection = -1;
std::int32_t SongCounter = 0;
std::int32_t PartCounter = 0;
std::int32_t ConnectionCounter = 0;
int StripReleaseWaitMs = 100;

TProjectLinks ProjectLinks;

namespace {

std::unique_ptr<TProject> openProject;
// Guarded by RoutingLock.
TPart* routingPart = nullptr;

// Nesting depth of destructions whose strip tables were already unpublished and waited for
// as a whole, so that their parts need not wait one by one. Window thread.
int stripsRetired = 0;

class RetiredStripsScope {
public:
    RetiredStripsScope() noexcept { ++stripsRetired; }
    ~RetiredStripsScope() { --stripsRetired; }
    RetiredStripsScope(const RetiredStripsScope&) = delete;
    RetiredStripsScope& operator=(const RetiredStripsScope&) = delete;
};

// Clears CurrentStrips when owned(table) says it belongs to what is about to be destroyed
// (when it was set: keeping the pause), then waits for the block that may still hold it.
// False: a block outlasted the wait, and nothing may be freed.
template <typename Owned> bool RetireStrips(Owned owned) {
    TStripStates* current = CurrentStrips.load(std::memory_order_acquire);
    if (current != nullptr && owned(current) &&
        CurrentStrips.compare_exchange_strong(current, nullptr) && StripReleaseWaitMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(StripReleaseWaitMs));
    }
    return WaitForAudioThreadToLeave();
}

bool SongOwnsStrips(const TSong& song, const TStripStates* table) {
    for (std::int32_t i = 0; i < song.PartCount(); ++i) {
        if (song.PartAt(i)->Strips.get() == table) {
            return true;
        }
    }
    return false;
}

// Destroys what `doomed` holds once the audio thread has provably left its strip tables; when
// a block hangs instead, leaks it (the safe side). Window thread.
template <typename Doomed, typename Owned> void DestroyAfterAudio(Doomed& doomed, Owned owned) {
    if (stripsRetired == 0 && !RetireStrips(owned)) {
        for (auto& entry : doomed) {
            (void)entry.release();
        }
        return;
    }
    RetiredStripsScope retired;
    doomed.clear();
}

template <typename List> bool ValidIndex(const List& list, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < list.size();
}

template <typename List> bool SwapEntries(List& list, std::int32_t i, std::int32_t j) {
    if (!ValidIndex(list, i) || !ValidIndex(list, j)) {
        return false;
    }
    std::swap(list[i], list[j]);
    return true;
}

bool SlotInRange(std::int32_t slot) {
    return slot >= 0 && slot < kSlotCount;
}

ISlotPlugin* PluginOfSlot(std::int32_t slot) {
    ISlotHost* host = ProjectLinks.Slots;
    if (host == nullptr || !SlotInRange(slot)) {
        return nullptr;
    }
    return host->SlotPlugin(slot);
}

bool UsesProgramChunks(const TPluginSettings& settings) {
    TCatalogueEntryInfo entry;
    return ProjectLinks.Slots->CatalogueEntry(settings.Slot, settings.PluginIndex, entry) &&
           entry.ProgramChunks;
}

void InitSlotNumbers(TSlotSettings& slots) {
    for (int i = 0; i < kSlotCount; ++i) {
        slots[i].Slot = i;
    }
}

void LoadSlot(std::int32_t slot, std::int32_t index) {
    if (slot < kFirstEffectSlot) {
        ProjectLinks.Slots->LoadInstrumentSlot(slot, index);
    } else {
        ProjectLinks.Slots->LoadEffectSlot(slot, index);
    }
}

// Hourglass and pending messages around slot loading.
class BusyScope {
public:
    BusyScope() {
        if (IProjectViews* views = ProjectLinks.Views) {
            views->SetBusyCursor(true);
            views->ProcessPendingMessages();
        }
    }
    ~BusyScope() {
        if (IProjectViews* views = ProjectLinks.Views) {
            views->SetBusyCursor(false);
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

} // namespace

// ---- TConnection ------------------------------------------------------------------------------

TConnection::TConnection(std::string name) : Name(std::move(name)) {
    SetInPort(InPort);
    SetOutPort(OutPort);
}

void TConnection::SetInPort(std::int32_t port) {
    InPort = port;
    InDisplay.Port = port;
}

void TConnection::SetOutPort(std::int32_t port) {
    OutPort = port;
    OutDisplay.Port = port + kFirstInstrumentPort;
}

// ---- TPluginSettings --------------------------------------------------------------------------

void TPluginSettings::Reset() {
    const std::int32_t slot = Slot;
    *this = TPluginSettings{};
    Slot = slot;
}

// ---- TPart ------------------------------------------------------------------------------------

TPart::TPart(std::string name) : Name(std::move(name)), Strips(std::make_unique<TStripStates>()) {
    InitStripStates(Strips.get());
    InitSlotNumbers(SlotStates);
}

TPart::~TPart() {
    {
        std::lock_guard hold(RoutingLock);
        if (routingPart == this) {
            routingPart = nullptr;
        }
        connections.clear();
    }
    if (stripsRetired == 0 && !ReleaseCurrentStrips(Strips.get())) {
        // A block still runs and may hold the table: better lost than freed under it.
        (void)Strips.release();
    }
}

std::int32_t TPart::ConnectionCount() const {
    return static_cast<std::int32_t>(connections.size());
}

TConnection* TPart::ConnectionAt(std::int32_t index) const {
    return ValidIndex(connections, index) ? connections[index].get() : nullptr;
}

TConnection* TPart::AddConnection() {
    if (ConnectionCount() >= kMaxConnections) {
        ShowMessageBox(LoadResString(kStrProblem), LoadResString(kStrMaxConnectionsReached),
                       kMsgProblem, kButtonsOk, 1);
        return nullptr;
    }
    ++ConnectionCounter;
    auto connection =
        std::make_unique<TConnection>("unnamed connection " + std::to_string(ConnectionCounter));
    connection->Position = ConnectionCount();
    return AppendConnection(std::move(connection));
}

TConnection* TPart::AppendConnection(std::unique_ptr<TConnection> connection) {
    TConnection* added = connection.get();
    std::lock_guard hold(RoutingLock);
    connections.push_back(std::move(connection));
    return added;
}

bool TPart::DeleteConnection(std::int32_t index) {
    std::unique_ptr<TConnection> removed;
    {
        std::lock_guard hold(RoutingLock);
        if (!ValidIndex(connections, index)) {
            return false;
        }
        // Destroyed under the lock: the MIDI thread finds connections only under it.
        removed = std::move(connections[index]);
        connections.erase(connections.begin() + index);
        removed.reset();
    }
    return true;
}

bool TPart::SwapConnections(std::int32_t i, std::int32_t j) {
    std::lock_guard hold(RoutingLock);
    return SwapEntries(connections, i, j);
}

void TPart::ClearConnections() {
    std::lock_guard hold(RoutingLock);
    connections.clear();
}

void TPart::SyncFromSong() {
    if (Song == nullptr) {
        return;
    }
    for (int i = 0; i < kSlotCount; ++i) {
        const TPluginSettings& from = Song->SlotSettings[i];
        TPluginSettings& to = SlotStates[i];
        to.PluginIndex = from.PluginIndex;
        to.IsInstrument = from.IsInstrument;
        to.Reserved1 = from.Reserved1;
        to.Reserved2 = from.Reserved2;
        to.NumInputs = from.NumInputs;
        to.NumOutputs = from.NumOutputs;
        to.EditorVisible = from.EditorVisible;
        to.EditorLeft = from.EditorLeft;
        to.EditorTop = from.EditorTop;
    }
}

void TPart::CaptureState() {
    SyncFromSong();
    for (auto& entry : SlotStates) {
        CaptureSlotState(entry);
    }
}

void TPart::ApplyState() {
    SyncFromSong();
    for (const auto& entry : SlotStates) {
        ApplySlotState(entry);
    }
}

// ---- TSong ------------------------------------------------------------------------------------

TSong::TSong(std::string name) : Name(std::move(name)) {
    InitSlotNumbers(SlotSettings);
}

std::int32_t TSong::PartCount() const {
    return static_cast<std::int32_t>(parts.size());
}

TPart* TSong::PartAt(std::int32_t index) const {
    return ValidIndex(parts, index) ? parts[index].get() : nullptr;
}

TPart* TSong::AddPart() {
    ++PartCounter;
    auto part = std::make_unique<TPart>("new part " + std::to_string(PartCounter));
    part->Song = this;
    part->SyncFromSong();
    return AppendPart(std::move(part));
}

TPart* TSong::AppendPart(std::unique_ptr<TPart> part) {
    part->Song = this;
    parts.push_back(std::move(part));
    return parts.back().get();
}

bool TSong::DeletePart(std::int32_t index) {
    if (!ValidIndex(parts, index)) {
        return false;
    }
    parts.erase(parts.begin() + index);
    return true;
}

bool TSong::SwapParts(std::int32_t i, std::int32_t j) {
    return SwapEntries(parts, i, j);
}

TSong::~TSong() {
    ClearParts();
}

void TSong::ClearParts() {
    std::vector<std::unique_ptr<TPart>> doomed = std::move(parts);
    parts.clear();
    DestroyAfterAudio(doomed, [&doomed](const TStripStates* table) {
        return std::any_of(doomed.begin(), doomed.end(),
                           [table](const auto& part) { return part->Strips.get() == table; });
    });
}

void TSong::CaptureSlots() {
    for (auto& entry : SlotSettings) {
        CaptureSlotSettings(entry);
    }
}

std::vector<std::int32_t> TSong::ApplySlots() {
    std::vector<std::int32_t> missing;
    for (const auto& entry : SlotSettings) {
        if (!ApplySlotSettings(entry)) {
            missing.push_back(entry.Slot);
        }
    }
    return missing;
}

void TSong::RefreshSlotInParts(std::int32_t slot) {
    if (!SlotInRange(slot)) {
        return;
    }
    for (auto& part : parts) {
        TPluginSettings& entry = part->SlotStates[slot];
        entry.Reset();
        part->SyncFromSong();
        CaptureSlotState(entry);
    }
}

void TSong::ClearSlotInParts(std::int32_t slot) {
    if (!SlotInRange(slot)) {
        return;
    }
    for (auto& part : parts) {
        part->SlotStates[slot].Reset();
    }
}

// ---- TProject ---------------------------------------------------------------------------------

TProject::TProject() : Created(NowAsDateTime()), Settings(std::make_unique<TProjectSettings>()) {}

TProject::~TProject() {
    ClearSongs();
}

std::int32_t TProject::SongCount() const {
    return static_cast<std::int32_t>(songs.size());
}

TSong* TProject::SongAt(std::int32_t index) const {
    return ValidIndex(songs, index) ? songs[index].get() : nullptr;
}

TSong* TProject::AddSong() {
    ++SongCounter;
    return AppendSong(std::make_unique<TSong>("new song " + std::to_string(SongCounter)));
}

TSong* TProject::AppendSong(std::unique_ptr<TSong> song) {
    songs.push_back(std::move(song));
    return songs.back().get();
}

bool TProject::DeleteSong(std::int32_t index) {
    if (!ValidIndex(songs, index)) {
        return false;
    }
    std::vector<std::unique_ptr<TSong>> doomed;
    doomed.push_back(std::move(songs[index]));
    songs.erase(songs.begin() + index);
    DestroyAfterAudio(doomed, [&doomed](const TStripStates* table) {
        return SongOwnsStrips(*doomed.front(), table);
    });
    return true;
}

bool TProject::SwapSongs(std::int32_t i, std::int32_t j) {
    return SwapEntries(songs, i, j);
}

void TProject::ClearSongs() {
    std::vector<std::unique_ptr<TSong>> doomed = std::move(songs);
    songs.clear();
    DestroyAfterAudio(doomed, [&doomed](const TStripStates* table) {
        return std::any_of(doomed.begin(), doomed.end(),
                           [table](const auto& song) { return SongOwnsStrips(*song, table); });
    });
}

TPart* TProject::CurrentPartObject() const {
    const TSong* song = SongAt(CurrentSong);
    return song != nullptr ? song->PartAt(CurrentPart) : nullptr;
}

std::int32_t TProject::CurrentConnectionCount() const {
    const TPart* part = CurrentPartObject();
    return part != nullptr ? part->ConnectionCount() : 0;
}

double NowAsDateTime() {
    constexpr double kSecondsPerDay = 86400.0;
    // Days from 1899-12-30 to 1970-01-01.
    constexpr double kUnixEpochDays = 25569.0;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const double fraction = std::chrono::duration<double>(now.time_since_epoch()).count() -
                            static_cast<double>(seconds);
    return kUnixEpochDays +
           (static_cast<double>(seconds) + static_cast<double>(local.tm_gmtoff) + fraction) /
               kSecondsPerDay;
}

// ---- Open project and routing part ------------------------------------------------------------

TProject* ActiveProject() {
    return openProject.get();
}

TProject& CreateProject() {
    InstallProject(std::make_unique<TProject>());
    CurrentSong = -1;
    return *openProject;
}

TProject& InstallProject(std::unique_ptr<TProject> project) {
    DestroyProject();
    openProject = std::move(project);
    return *openProject;
}

void DestroyProject() {
    SetRoutingPart(nullptr);
    if (openProject == nullptr) {
        // Nothing of ours to free; still no table of a project that is gone stays current.
        RetireStrips([](const TStripStates*) { return true; });
        return;
    }
    // Whatever table is current goes: the engine may have been handed any of the project's,
    // including one of a part that was current a moment ago and is not any more.
    std::vector<std::unique_ptr<TProject>> doomed;
    doomed.push_back(std::move(openProject));
    DestroyAfterAudio(doomed, [](const TStripStates*) { return true; });
}

bool ReleaseCurrentStrips(const TStripStates* table) {
    return RetireStrips([table](const TStripStates* current) { return current == table; });
}

void SetRoutingPart(TPart* part) {
    std::lock_guard hold(RoutingLock);
    routingPart = part;
}

TPart* RoutingPartLocked() {
    return routingPart;
}

// ---- Capture and apply ------------------------------------------------------------------------

void CaptureSlotSettings(TPluginSettings& settings) {
    ISlotPlugin* plugin = PluginOfSlot(settings.Slot);
    if (plugin == nullptr) {
        return;
    }
    ISlotHost& host = *ProjectLinks.Slots;
    // Where the slot has no editor window yet.
    constexpr std::int32_t kNoWindowPosition = 100;
    settings.NumInputs = plugin->NumInputs();
    settings.NumOutputs = plugin->NumOutputs();
    settings.EditorVisible = host.EditorWindowVisible(settings.Slot) ? 1 : 0;
    std::int32_t left = 0;
    std::int32_t top = 0;
    if (!host.EditorWindowPosition(settings.Slot, left, top)) {
        left = kNoWindowPosition;
        top = kNoWindowPosition;
    }
    settings.EditorLeft = left;
    settings.EditorTop = top;
}

bool ApplySlotSettings(const TPluginSettings& settings) {
    ISlotHost* host = ProjectLinks.Slots;
    const std::int32_t slot = settings.Slot;
    if (host == nullptr || slot < 0 || slot >= kSlotCount) {
        return true;
    }
    BusyScope busy;
    if (settings.PluginIndex < 0) {
        LoadSlot(slot, -1);
        return true;
    }
    TCatalogueEntryInfo entry;
    if (!host->CatalogueEntry(slot, settings.PluginIndex, entry)) {
        // The plugin is not installed here. The slot stays empty; the entry keeps its index
        // so that saving the project does not lose it.
        LoadSlot(slot, -1);
        return false;
    }
    ISlotPlugin* loaded = host->SlotPlugin(slot);
    if (loaded == nullptr || loaded->DLLFileName() != entry.LibraryFile) {
        LoadSlot(slot, settings.PluginIndex);
    }
    if (settings.EditorVisible) {
        host->ShowEditor(slot);
    } else {
        host->HideEditor(slot);
    }
    return true;
}

void CaptureSlotState(TPluginSettings& settings) {
    ISlotPlugin* plugin = PluginOfSlot(settings.Slot);
    if (plugin == nullptr) {
        return;
    }
    settings.ProgramNr = plugin->ProgramNr();
    vst2::MidiProgramCategory category{};
    category.thisCategoryIndex = 0;
    plugin->GetMidiProgramCategory(category);
    settings.ProgramCategory = category.thisCategoryIndex;

    if (UsesProgramChunks(settings)) {
        const void* chunk = nullptr;
        const std::int32_t size = plugin->GetProgramChunk(chunk);
        settings.HasState = size > 0 ? 1 : 0;
        // A plugin that reports no chunk keeps the previous buffer and size.
        if (size > 0 && chunk != nullptr) {
            const auto* bytes = static_cast<const std::uint8_t*>(chunk);
            settings.StateData.assign(bytes, bytes + size);
            settings.StateSize = size;
        } else if (size > 0) {
            settings.HasState = 0;
        }
        return;
    }
    const std::int32_t count = plugin->NumParams();
    settings.HasState = count > 0 ? 1 : 0;
    if (count <= 0) {
        settings.StateData.clear();
        settings.StateSize = 0;
        return;
    }
    settings.StateData.resize(static_cast<std::size_t>(count) * sizeof(float));
    settings.StateSize = static_cast<std::int32_t>(settings.StateData.size());
    for (std::int32_t i = 0; i < count; ++i) {
        const float value = plugin->GetParameter(i);
        std::memcpy(settings.StateData.data() + static_cast<std::size_t>(i) * sizeof(float), &value,
                    sizeof value);
    }
}

void ApplySlotState(const TPluginSettings& settings) {
    ISlotPlugin* plugin = PluginOfSlot(settings.Slot);
    if (plugin == nullptr) {
        return;
    }
    // The program first, so the state overrides whatever the program change loaded.
    plugin->SetProgramNr(settings.ProgramNr);
    if (!settings.HasState || settings.StateSize < 1 || settings.StateData.empty()) {
        return;
    }
    const std::size_t size =
        std::min(settings.StateData.size(), static_cast<std::size_t>(settings.StateSize));
    if (UsesProgramChunks(settings)) {
        plugin->SetProgramChunk(settings.StateData.data(), static_cast<std::int32_t>(size));
        return;
    }
    const std::int32_t count = plugin->NumParams();
    if (count < 0 ||
        static_cast<std::uint32_t>(count) !=
            static_cast<std::uint32_t>(settings.StateSize) / sizeof(float) ||
        size < static_cast<std::size_t>(count) * sizeof(float)) {
        return;
    }
    for (std::int32_t i = 0; i < count; ++i) {
        float value = 0.0f;
        std::memcpy(&value, settings.StateData.data() + static_cast<std::size_t>(i) * sizeof(float),
                    sizeof value);
        plugin->SetParameter(i, value);
    }
}

std::string SlotDisplayName(std::int32_t slot) {
    if (slot >= 0 && slot < kFirstEffectSlot) {
        return "VSTi " + std::to_string(slot + 1);
    }
    return "VST " + std::to_string(slot - kFirstEffectSlot + 1);
}

// ---- Copies -----------------------------------------------------------------------------------

void CopyConnection(const TConnection& source, TConnection& target) {
    target.Name = source.Name;
    target.SetInPort(source.InPort);
    target.InChannel = source.InChannel;
    target.PassNote = source.PassNote;
    target.PassPolyPressure = source.PassPolyPressure;
    target.PassController = source.PassController;
    target.PassProgramChange = source.PassProgramChange;
    target.PassAftertouch = source.PassAftertouch;
    target.PassPitchbend = source.PassPitchbend;
    target.PassUser1 = source.PassUser1;
    target.PassUser2 = source.PassUser2;
    target.Enabled = source.Enabled;
    target.Program = source.Program;
    target.ProgramEnabled = source.ProgramEnabled;
    target.ProgramName = source.ProgramName;
    target.BankHi = source.BankHi;
    target.BankLo = source.BankLo;
    target.BankHiEnabled = source.BankHiEnabled;
    target.BankLoEnabled = source.BankLoEnabled;
    target.Volume = source.Volume;
    target.VolumeEnabled = source.VolumeEnabled;
    target.Pan = source.Pan;
    target.PanEnabled = source.PanEnabled;
    target.Transpose = source.Transpose;
    target.RangeHi = source.RangeHi;
    target.RangeLo = source.RangeLo;
    target.SetOutPort(source.OutPort);
    target.OutChannel = source.OutChannel;
}

std::unique_ptr<TConnection> CopyConnection(const TConnection& source) {
    auto target = std::make_unique<TConnection>();
    CopyConnection(source, *target);
    return target;
}

void CopySlot(const TPluginSettings& source, TPluginSettings& target) {
    if (&source == &target) {
        return;
    }
    target.PluginIndex = source.PluginIndex;
    target.IsInstrument = source.IsInstrument;
    target.Reserved1 = source.Reserved1;
    target.Reserved2 = source.Reserved2;
    target.NumInputs = source.NumInputs;
    target.NumOutputs = source.NumOutputs;
    target.EditorVisible = source.EditorVisible;
    target.EditorLeft = source.EditorLeft;
    target.EditorTop = source.EditorTop;
    target.ProgramNr = source.ProgramNr;
    target.ProgramCategory = source.ProgramCategory;
    target.Slot = source.Slot;
    if (source.HasState && !source.StateData.empty() && source.StateSize > 0) {
        target.HasState = source.HasState;
        target.StateSize = source.StateSize;
        target.StateData = source.StateData;
    } else {
        target.HasState = 0;
        target.StateSize = 0;
        target.StateData.clear();
    }
}

void CopyPart(const TPart& source, TPart& target) {
    if (&source == &target) {
        return;
    }
    target.ClearConnections();
    CopyStripStates(*source.Strips, target.Strips);
    target.Name = source.Name;
    for (std::int32_t i = 0; i < source.ConnectionCount(); ++i) {
        TConnection* added = target.AddConnection();
        if (added == nullptr) {
            break;
        }
        CopyConnection(*source.ConnectionAt(i), *added);
    }
    for (int i = 0; i < kSlotCount; ++i) {
        CopySlot(source.SlotStates[i], target.SlotStates[i]);
    }
}

std::unique_ptr<TPart> CopyPart(const TPart& source) {
    auto target = std::make_unique<TPart>();
    CopyPart(source, *target);
    return target;
}

void CopySong(const TSong& source, TSong& target) {
    if (&source == &target) {
        return;
    }
    target.ClearParts();
    target.Name = source.Name;
    target.Composer = source.Composer;
    target.Tempo = source.Tempo;
    target.Key = source.Key;
    for (std::int32_t i = 0; i < source.PartCount(); ++i) {
        CopyPart(*source.PartAt(i), *target.AddPart());
    }
    for (int i = 0; i < kSlotCount; ++i) {
        CopySlot(source.SlotSettings[i], target.SlotSettings[i]);
    }
}

std::unique_ptr<TSong> CopySong(const TSong& source) {
    auto target = std::make_unique<TSong>();
    CopySong(source, *target);
    return target;
}

} // namespace peldor
