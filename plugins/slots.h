#pragma once
// The 20 plugin slots: instrument slots 0-15 ("VSTi 1".."VSTi 16") and effect slots 16-19
// ("VST 1".."VST 4"). TPluginSlots puts plugins into slots and takes them out again, keeps
// SlotMap (slot -> index in the host's plugin collection) in step with the collection, gives
// each slot a window for the plugin's editor, runs the plugins' idle calls and passes a new
// driver format on. It is the ISlotHost the project model loads and captures plugins through.
//
// The host's collection starts with 20 placeholder objects (the first is the plugin scan's
// scratch object); slot plugins are added behind them, so their indices are 20 and up. Taking
// a plugin out of a slot deletes its object, which moves the later objects down by one;
// ReleaseSlotEntry moves the SlotMap entries with them.
//
// Threads: everything here runs on the window thread, and the driver keeps running through
// every load. The engine calls the slot plugins on the driver's callback thread without a lock
// and finds them through the host's published slot table, not through SlotMap or the
// collection. So a new plugin is loaded, opened and prepared first, then published in one
// atomic store (the engine takes it from its next block on), and the plugin it replaces is
// closed and unloaded only after the block handshake says no block is still rendering it.

#include "engine/strip_table.h"
#include "plugins/editor_window.h"
#include "plugins/plugin_catalogue.h"
#include "plugins/slot_plugin.h"
#include "project/slot_host.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace peldor {

class TProcessor;
class TVstHost;
class TVstPlugIn;

/// The audio driver as the slot loaders see it. The main window implements it over its audio
/// host. Window thread.
class ISlotDriver {
public:
    virtual ~ISlotDriver() = default;
    /// The driver is running (buffers are being processed).
    virtual bool DriverActive() = 0;
    /// Starts or stops the driver; once stopping has returned no buffer is in progress.
    virtual void SetDriverActive(bool active) = 0;
    /// Samples per buffer and sample rate of the driver (0 and the host's default without one).
    virtual std::int32_t DriverBufferSize() = 0;
    virtual double DriverSampleRate() = 0;
};

/// What the slot windows show and the cursor, as callbacks; each may be empty (headless).
struct TSlotViews {
    /// true: hourglass cursor, false: normal cursor.
    std::function<void(bool busy)> BusyCursor;
    /// Lets pending window messages run.
    std::function<void()> ProcessMessages;
    /// The instruments window's and the effects window's RefreshSlots.
    std::function<void()> RefreshInstrumentSlots;
    std::function<void()> RefreshEffectSlots;
};

/// The slot's problem when the plugin it had could not be unloaded: a block still rendered it.
inline constexpr char kStillPlayingProblem[] =
    "the previous plugin was still being rendered and stays loaded";

/// How long UnloadAllPlugins waits after closing the plugins, so the plugins' own threads can
/// wind down.
inline constexpr int kUnloadSettleMs = 100;

class TPluginSlots final : public ISlotHost {
public:
    /// host: the program's plugin host (not owned). driver: the audio driver (not owned).
    /// processor: the engine whose workers the loaders stop (may be null in tests).
    TPluginSlots(TVstHost& host, ISlotDriver& driver, TProcessor* processor);
    ~TPluginSlots() override;
    TPluginSlots(const TPluginSlots&) = delete;
    TPluginSlots& operator=(const TPluginSlots&) = delete;

    void SetViews(TSlotViews newViews) { views = std::move(newViews); }

    /// Sets the host's BlockSize to blockSize and adds the 20 placeholder plugin objects.
    /// Called once, when the main window is created.
    void CreateVstHost(std::int32_t blockSize);

    /// Puts entry index of the instrument catalogue into instrument slot 0-15, or empties the
    /// slot with -1. Nothing while no project exists, for a slot outside 0-15, or for an index
    /// beyond the catalogue. A plugin that fails to open leaves the slot empty; SlotProblem
    /// says why, and so does a slot whose old plugin a stuck block kept loaded. The driver keeps
    /// running: the new plugin replaces the old one between two blocks.
    void LoadInstrumentSlot(std::int32_t slot, std::int32_t index) override;
    /// The same for effect slots 16-19 and the effect catalogue, shell entries included.
    void LoadEffectSlot(std::int32_t slot, std::int32_t index) override;
    /// After the slot's plugin object at SlotMap[slot] was deleted: the entries above it move
    /// down by one and the slot becomes empty. Nothing for an empty slot.
    void ReleaseSlotEntry(std::int32_t slot);
    /// Closes and unloads every active plugin object of the collection (shell effects
    /// included), then waits kUnloadSettleMs. At shut-down, with the driver stopped.
    void UnloadAllPlugins();
    /// Empties every slot whose plugin came from a library file (closing and unloading it) and
    /// hides every slot window. Shell effects, placed without a file name, stay in their slots.
    /// The objects stay in the collection. When a project is closed, with the driver stopped.
    void UnloadSlots();
    /// The driver's sample rate to the host's time information (which plugins opened later
    /// and plugins asking for the rate get) and to every slot plugin, then its buffer size as
    /// the host's BlockSize (to every plugin object with an effect). With the driver stopped:
    /// plugins read the time information while they process.
    void ApplyDriverFormat();
    /// For every plugin object of the collection in index order: the idle requests it made on
    /// the driver's thread, then Idle, then EditIdle. The main window's 50 ms timer calls it
    /// while a project exists.
    void IdlePass();

    /// The instruments window's choice: tag is an instrument catalogue index or -1 for "no
    /// instrument". Records the choice in the current song's slot settings, loads the slot and
    /// refreshes (or clears) that slot's state in every part of the song. Nothing without a
    /// project or a current song, for a slot outside 0-15 or for a tag beyond the catalogue.
    void ChooseInstrument(std::int32_t slot, std::int32_t tag);
    /// The same for effect slots 16-19 and the effect catalogue.
    void ChooseEffect(std::int32_t slot, std::int32_t tag);

    // ---- ISlotHost ----
    ISlotPlugin* SlotPlugin(std::int32_t slot) override;
    bool CatalogueEntry(std::int32_t slot, std::int32_t pluginIndex,
                        TCatalogueEntryInfo& entry) override;
    bool EditorWindowVisible(std::int32_t slot) override;
    bool EditorWindowPosition(std::int32_t slot, std::int32_t& left, std::int32_t& top) override;
    void ShowEditor(std::int32_t slot) override;
    void HideEditor(std::int32_t slot) override;

    // ---- Reading ----
    /// The plugin object serving slot 0-19, or null.
    TVstPlugIn* PluginInSlot(std::int32_t slot) const;
    /// The slot's editor window, or null while it has none.
    IEditorWindow* SlotWindow(std::int32_t slot) const;
    /// Why the last load into the slot failed; empty after a successful load or emptying.
    const std::string& SlotProblem(std::int32_t slot) const;
    /// "VSTi 1" .. "VSTi 16", "VST 1" .. "VST 4".
    static std::string SlotName(std::int32_t slot);

private:
    /// The loaders' first steps: the workers stopped; index -1 empties the slot; otherwise the
    /// catalogue entry is checked and the editor of the slot's plugin closed (the plugin plays
    /// on). The entry to load, or nothing when the loader is done.
    std::optional<PlgListRecord> BeginLoad(std::int32_t slot, std::int32_t index);
    /// A plugin that failed to open: closed and unloaded, left in the collection; the slot ends
    /// up empty (old, the plugin it had, retired) with why as its problem.
    void AbandonLoad(std::int32_t slot, TVstPlugIn& plugin, std::string why, TVstPlugIn* old);
    /// The slot emptied after a failed load, with why as its problem; old retired.
    void EmptyAfterFailedLoad(std::int32_t slot, std::string why, TVstPlugIn* old);
    /// The choice handlers: records the choice in the current song and loads the slot.
    void Choose(std::int32_t slot, std::int32_t tag, bool instrument);
    /// Empties the slot while the driver runs: editor closed, window hidden, the engine given
    /// no plugin for it, then the old plugin retired.
    void RemoveSlotPlugin(std::int32_t slot);
    /// The slot's plugin (by SlotMap) to the engine, atomically.
    void Publish(std::int32_t slot);
    /// The slot's queued events and held notes dropped: its plugin is leaving.
    void ForgetSlotTraffic(std::int32_t slot);
    /// A plugin the engine no longer has: once no block can still be rendering it (the block
    /// handshake), closed, unloaded and deleted from the collection, SlotMap following the
    /// objects that move down. False when a block did not end in time: the plugin then stays
    /// open in the collection.
    bool Retire(TVstPlugIn* plugin);
    /// Retire, noting in the slot's problem when the old plugin had to stay loaded.
    void RetireReplaced(std::int32_t slot, TVstPlugIn* old);
    /// The slot's window, created when missing.
    IEditorWindow& EnsureSlotWindow(std::int32_t slot);
    void SizeWindowToEditor(IEditorWindow& window, TVstPlugIn& plugin);
    void InstallHandlers(TVstPlugIn& plugin, bool instrument);
    /// The driver's rate into the host's time information. The driver is off.
    void TellHostTheDriverRate();
    void Busy(bool busy);
    void Pending();
    void Refresh(bool instrument);

    TVstHost& host;
    ISlotDriver& driver;
    TProcessor* processor;
    TSlotViews views;
    std::array<std::unique_ptr<IEditorWindow>, kSlotCount> windows;
    /// Where each slot window was last placed (the GUI keeps real positions).
    std::array<std::pair<std::int32_t, std::int32_t>, kSlotCount> windowPositions{};
    std::array<TSlotPlugin, kSlotCount> adapters;
    std::array<std::string, kSlotCount> problems;
};

} // namespace peldor
