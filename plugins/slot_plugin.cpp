#include "plugins/slot_plugin.h"

namespace peldor {

std::int32_t TSlotPlugin::ProgramNr() {
    return plugin != nullptr ? plugin->ProgramNr() : -1;
}

void TSlotPlugin::SetProgramNr(std::int32_t program) {
    if (plugin != nullptr) {
        plugin->SetProgramNr(program);
    }
}

void TSlotPlugin::GetMidiProgramCategory(vst2::MidiProgramCategory& category) {
    if (plugin != nullptr) {
        plugin->GetMidiProgramCategory(&category);
    }
}

std::int32_t TSlotPlugin::GetProgramChunk(const void*& data) {
    data = nullptr;
    if (plugin == nullptr || !plugin->Active()) {
        return 0;
    }
    void* chunk = nullptr;
    const std::int32_t size = plugin->GetChunk(&chunk, true);
    // A plugin that reports a size but no data has no chunk to give.
    if (size <= 0 || chunk == nullptr) {
        return 0;
    }
    data = chunk;
    return size;
}

void TSlotPlugin::SetProgramChunk(const void* data, std::int32_t size) {
    if (plugin == nullptr || !plugin->Active() || data == nullptr || size <= 0) {
        return;
    }
    // The interface passes a mutable pointer; plugins copy the bytes and never write them.
    plugin->SetChunk(const_cast<void*>(data), size, true);
}

std::int32_t TSlotPlugin::NumParams() {
    return plugin != nullptr ? plugin->numParams() : 0;
}

float TSlotPlugin::GetParameter(std::int32_t index) {
    return plugin != nullptr ? plugin->GetParameter(index) : 0.0f;
}

void TSlotPlugin::SetParameter(std::int32_t index, float value) {
    if (plugin != nullptr) {
        plugin->SetParameter(index, value);
    }
}

std::int32_t TSlotPlugin::NumInputs() {
    return plugin != nullptr ? plugin->numInputs() : 0;
}

std::int32_t TSlotPlugin::NumOutputs() {
    return plugin != nullptr ? plugin->numOutputs() : 0;
}

std::string TSlotPlugin::DLLFileName() {
    return plugin != nullptr ? plugin->DLLFileName() : std::string();
}

std::string TSlotPlugin::ProgramName() {
    return plugin != nullptr ? plugin->ProgramName() : std::string();
}

} // namespace peldor
