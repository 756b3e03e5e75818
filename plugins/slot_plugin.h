#pragma once
// A slot's plugin object as the project model sees it: TSlotPlugin forwards ISlotPlugin's calls
// to the TVstPlugIn that serves a slot. The plugin slots keep one per slot and point it at the
// slot's plugin object whenever the model asks.

#include "plugins/vst_plugin.h"
#include "project/slot_host.h"

namespace peldor {

/// Window thread only. Holds no state of its own besides the plugin it points at; never owns
/// it. Every call enters the plugin's dispatcher (or its parameter functions).
class TSlotPlugin final : public ISlotPlugin {
public:
    explicit TSlotPlugin(TVstPlugIn* thePlugin = nullptr) : plugin(thePlugin) {}

    /// Points the adapter at another plugin object (null: none; every call then answers 0,
    /// -1 for the program, or nothing).
    void Bind(TVstPlugIn* target) noexcept { plugin = target; }
    TVstPlugIn* Plugin() const noexcept { return plugin; }

    std::int32_t ProgramNr() override;
    void SetProgramNr(std::int32_t program) override;
    void GetMidiProgramCategory(vst2::MidiProgramCategory& category) override;
    std::int32_t GetProgramChunk(const void*& data) override;
    void SetProgramChunk(const void* data, std::int32_t size) override;
    std::int32_t NumParams() override;
    float GetParameter(std::int32_t index) override;
    void SetParameter(std::int32_t index, float value) override;
    std::int32_t NumInputs() override;
    std::int32_t NumOutputs() override;
    std::string DLLFileName() override;
    std::string ProgramName() override;

private:
    TVstPlugIn* plugin;
};

} // namespace peldor
