#pragma once
// TVstHost, the program's one plugin host, and its collection TVstPlugIns of plugin objects.
// The host answers the plugins' callbacks (with the unit-wide values of host_values.h) and
// gives the engine its plugins by collection index.

#include "engine/engine_plugin.h"
#include "plugins/host_values.h"
#include "plugins/vst_plugin.h"
#include "plugins/vst_time_info.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace peldor {

class TVstHost;

/// The host's plugin objects. An item's index is its position; deleting an item moves the later
/// ones down by one. Window thread, except FindByEffect and Published, which any thread may
/// call while items are added and deleted: they read an immutable list of the items that the
/// window thread republishes on every change, and an object leaves that list (and the readers
/// of the old one have finished) before it is destroyed.
class TVstPlugIns {
public:
    explicit TVstPlugIns(TVstHost* theOwner = nullptr) : owner(theOwner) {}
    /// Destroys every item, always the first until none is left.
    ~TVstPlugIns();
    TVstPlugIns(const TVstPlugIns&) = delete;
    TVstPlugIns& operator=(const TVstPlugIns&) = delete;

    /// Appends a new empty plugin object and returns it.
    TVstPlugIn& Add();
    /// The item at i, or null when i is out of range. Window thread; no allocation.
    TVstPlugIn* Items(std::int32_t i) const noexcept;
    /// The item at i of the published list, or null. Any thread (the engine); lock-free, no
    /// allocation.
    TVstPlugIn* Published(std::int32_t i) const noexcept;
    /// The first item whose Effect is effect, or null. Any thread (the host callback);
    /// lock-free, no allocation.
    TVstPlugIn* FindByEffect(const vst2::AEffect* effect) const noexcept;
    /// Destroys item i (closing and unloading it as its destruction does); out of range does
    /// nothing. Look-ups in progress are waited for; an object the engine may be processing
    /// must first leave SlotMap and the block handshake be waited for (or the driver stopped).
    void Delete(std::int32_t i);
    std::int32_t Count() const noexcept { return static_cast<std::int32_t>(items.size()); }
    /// Position of plugin, -1 when it is not an item. Any thread.
    std::int32_t IndexOf(const TVstPlugIn* plugin) const noexcept;
    /// Destroys every item, first to last.
    void Clear();
    /// Replaces the items with copies of other's (each copy opened, see TVstPlugIn::Assign).
    void Assign(TVstPlugIns& other);
    TVstHost* Owner() const noexcept { return owner; }

private:
    struct TPublishedItems {
        std::vector<TVstPlugIn*> items;
    };
    /// Makes the published list match items, then frees the old list once no reader is left
    /// in it. Window thread.
    void Republish();

    TVstHost* owner;
    std::vector<std::unique_ptr<TVstPlugIn>> items;
    std::atomic<const TPublishedItems*> published{nullptr};
    /// Threads inside FindByEffect or Published.
    mutable std::atomic<std::int32_t> readers{0};
};

enum class TVstHostLanguage : std::int32_t {
    kVstLangUnknown,
    kVstLangEnglish,
    kVstLangGerman,
    kVstLangFrench,
    kVstLangItalian,
    kVstLangSpanish,
    kVstLangJapanese,
};

class TVstHost final : public IEnginePluginHost {
public:
    /// Becomes the current host; host sample rate 44100, host block size 2048, English;
    /// PlugInDir from the registry file's VST plugin folder or else the program's directory;
    /// creates the collection and the time-info object, raises onCreate, installs the can-do
    /// set 0x20FFF. Window thread.
    explicit TVstHost(const std::function<void(TVstHost&)>& onCreate = {});
    /// Destroys every plugin object, the collection and the time-info object, then raises
    /// OnDestroy. Stops being the current host.
    ~TVstHost() override;
    TVstHost(const TVstHost&) = delete;
    TVstHost& operator=(const TVstHost&) = delete;

    std::int32_t LatencyInput = 0;
    std::int32_t LatencyOutput = 0;
    TVstHostLanguage Language = TVstHostLanguage::kVstLangEnglish;
    std::int32_t NumAutomatableParameters = 0;
    std::int32_t ParameterQuantization = 0;
    bool ManageIdleAutomaticly = false;
    std::string VendorString;
    std::string ProductString;
    std::int32_t VendorVersion = 0;
    /// Answered by audioMasterGetDirectory.
    std::string PlugInDir;
    std::function<void(TVstHost&)> OnDestroy;

    TVstPlugIns& VstPlugIns() noexcept { return *plugIns; }
    /// Copies the other collection's items (see TVstPlugIns::Assign).
    void SetVstPlugIns(TVstPlugIns& other) { plugIns->Assign(other); }
    TVstTimeInformation& VstTimeInfo() noexcept { return *timeInfo; }

    /// The unit-wide host block size.
    std::int32_t BlockSize() const noexcept { return HostBlockSize; }
    /// Sets the host block size, then sends effSetBlockSize (and sizes the channel buffers) to
    /// every plugin object that has an effect, active or not, in collection order.
    void SetBlockSize(std::int32_t n);
    float Tempo() const noexcept { return HostTempo; }
    /// Sets the unit-wide tempo and the time-info object's Tempo.
    void SetTempo(float tempo);
    THostCanDos CanDos() const noexcept { return HostCanDos; }
    void SetCanDos(THostCanDos canDos) noexcept { HostCanDos = canDos; }
    std::int32_t VstVersion() const noexcept { return HostVstVersion; }
    void SetVstVersion(std::int32_t value) noexcept { HostVstVersion = value; }

    /// The plugin object at index, or null. Driver callback thread; no allocation.
    IEnginePlugin* EnginePlugin(std::int32_t index) noexcept override;

    /// Makes plugin (null: none) the one the engine renders for slot 0-19 from its next block
    /// on; one atomic store. From the first call on, the engine takes every slot's plugin from
    /// what was published here rather than through SlotMap and the collection, so the slot
    /// loaders can add and delete objects while blocks run. Window thread.
    void PublishSlotPlugin(std::int32_t slot, TVstPlugIn* plugin) noexcept;
    /// Back to the slot look-up through SlotMap (the slots are gone). Window thread, with no
    /// block running.
    void StopPublishingSlots() noexcept;
    /// The published plugin of the slot, or the one SlotMap names while nothing is published.
    /// Driver callback thread; no allocation.
    IEnginePlugin* SlotPlugin(std::int32_t slot) noexcept override;

private:
    std::unique_ptr<TVstPlugIns> plugIns;
    std::unique_ptr<TVstTimeInformation> timeInfo;
    std::atomic<bool> slotsPublished{false};
    std::array<std::atomic<TVstPlugIn*>, kSlotCount> publishedSlots{};
};

} // namespace peldor
