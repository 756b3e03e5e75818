#pragma once
// What the engine needs of a hosted plugin, and of the collection that holds them. The plugin
// host implements both; tests use fakes.

#include "engine/strip_table.h"
#include "vst2/vst2_abi.h"

#include <cstddef>

#include <cstdint>

namespace peldor {

/// A plugin as the rendering passes see it. Every method is called on the thread that runs the
/// pass (normally the driver's callback thread) and must not allocate, block or log.
class IEnginePlugin {
public:
    virtual ~IEnginePlugin() = default;

    /// The plugin is opened and switched on.
    virtual bool Active() const noexcept = 0;
    /// effCanDo: 1 yes, 0 don't know, -1 no. The pass asks "receiveVstMidiEvent".
    virtual std::intptr_t CanDo(const char* text) noexcept = 0;
    /// effProcessEvents. The record stays valid until the next hand-over to this plugin.
    virtual std::intptr_t ProcessEvents(vst2::VstEvents* events) noexcept = 0;
    /// Renders sampleFrames samples. Instruments get no inputs and a two-channel output
    /// array; effects two inputs and two outputs (the engine's stereo pairs).
    virtual void ProcessReplacing(float** inputs, float** outputs,
                                  std::int32_t sampleFrames) noexcept = 0;
};

/// The plugin collection, addressed by the indices SlotMap holds.
class IEnginePluginHost {
public:
    virtual ~IEnginePluginHost() = default;
    /// The plugin at index, or null when there is none. Driver callback thread; no allocation.
    virtual IEnginePlugin* EnginePlugin(std::int32_t index) noexcept = 0;
    /// The plugin serving slot 0-19, or null for an empty slot. This is what the passes ask.
    /// By default the one SlotMap names; a host whose slots change while blocks run publishes
    /// each slot's plugin atomically instead. Driver callback thread; no allocation.
    virtual IEnginePlugin* SlotPlugin(std::int32_t slot) noexcept {
        const std::int32_t index = SlotMap[static_cast<std::size_t>(slot)];
        return index == -1 ? nullptr : EnginePlugin(index);
    }
};

} // namespace peldor
