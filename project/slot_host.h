#pragma once
// What the project model needs of the plugin slots: the plugin loaded in a slot, the plugin
// catalogues, the slot loaders and the slot editor windows. The plugin host implements these
// interfaces; tests use fakes. The model never includes anything from plugins/.

#include "vst2/vst2_abi.h"

#include <cstdint>
#include <string>

namespace peldor {

/// A plugin loaded in a slot, as capture and apply see it. Window thread only; every call may
/// enter the plugin's dispatcher.
class ISlotPlugin {
public:
    virtual ~ISlotPlugin() = default;

    /// The current program as the plugin reports it; -1 while the plugin is not active.
    virtual std::int32_t ProgramNr() = 0;
    /// Switches the program; ignored while the plugin is not active.
    virtual void SetProgramNr(std::int32_t program) = 0;
    /// Asks the plugin to fill the category record (effGetMidiProgramCategory); the caller
    /// prepares the record, including the category index to ask for.
    virtual void GetMidiProgramCategory(vst2::MidiProgramCategory& category) = 0;

    /// effGetChunk for the current program (index 1). Returns the size and points data at the
    /// plugin's buffer, which stays valid until the next call into the plugin. A size of 0 or
    /// less means no chunk.
    virtual std::int32_t GetProgramChunk(const void*& data) = 0;
    /// effSetChunk for the current program (index 1). The plugin copies the bytes.
    virtual void SetProgramChunk(const void* data, std::int32_t size) = 0;

    virtual std::int32_t NumParams() = 0;
    virtual float GetParameter(std::int32_t index) = 0;
    virtual void SetParameter(std::int32_t index, float value) = 0;

    virtual std::int32_t NumInputs() = 0;
    virtual std::int32_t NumOutputs() = 0;
    /// The library file the plugin was loaded from; empty for a plugin placed by the caller
    /// (a sub-plugin of a shell library).
    virtual std::string DLLFileName() = 0;
    /// The current program's name; empty when the plugin gives none.
    virtual std::string ProgramName() { return {}; }
};

/// The two facts of a catalogue entry the model reads.
struct TCatalogueEntryInfo {
    std::string LibraryFile;
    bool ProgramChunks = false;
};

/// The plugin slots of the running program. Window thread only. While none is installed (see
/// ProjectLinks) the main window does not exist, and capture and apply do nothing.
class ISlotHost {
public:
    virtual ~ISlotHost() = default;

    /// The plugin that serves slot 0-19 (through SlotMap), or null when the slot is empty.
    virtual ISlotPlugin* SlotPlugin(std::int32_t slot) = 0;
    /// The catalogue entry that a slot's PluginIndex names: the instrument catalogue for slots
    /// 0-15, the effect catalogue for 16-19. False when the index is outside the catalogue.
    virtual bool CatalogueEntry(std::int32_t slot, std::int32_t pluginIndex,
                                TCatalogueEntryInfo& entry) = 0;

    /// The slot loaders: put catalogue entry index into the slot, or empty it with -1. They
    /// may stop the driver while they replace a plugin.
    virtual void LoadInstrumentSlot(std::int32_t slot, std::int32_t index) = 0;
    virtual void LoadEffectSlot(std::int32_t slot, std::int32_t index) = 0;

    /// The slot's editor window exists and is visible.
    virtual bool EditorWindowVisible(std::int32_t slot) = 0;
    /// Position of the slot's editor window; false when the slot has no window.
    virtual bool EditorWindowPosition(std::int32_t slot, std::int32_t& left, std::int32_t& top) = 0;
    /// Shows the slot's editor window and opens the plugin editor in it.
    virtual void ShowEditor(std::int32_t slot) = 0;
    /// Closes the plugin editor and the slot's editor window.
    virtual void HideEditor(std::int32_t slot) = 0;
};

} // namespace peldor
