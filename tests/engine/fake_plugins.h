#pragma once
// Stand-in plugins for the engine tests: they write constants, copy their inputs, and record
// the events they are handed, without allocating on the audio thread.

#include "engine/engine_plugin.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace peldor::test {

class FakePlugin : public IEnginePlugin {
public:
    /// Instruments write left/right constants; an effect (passInputs) writes its inputs times
    /// gain instead.
    FakePlugin(float leftValue = 0.0f, float rightValue = 0.0f)
        : left(leftValue), right(rightValue) {
        received.reserve(kMaxRecorded);
    }

    bool Active() const noexcept override { return active.load(std::memory_order_relaxed); }
    std::intptr_t CanDo(const char* text) noexcept override {
        ++canDoCalls;
        return std::strcmp(text, "receiveVstMidiEvent") == 0 ? canDoMidi : 0;
    }
    std::intptr_t ProcessEvents(vst2::VstEvents* events) noexcept override {
        ++processEventsCalls;
        for (int i = 0; i < events->numEvents; ++i) {
            if (received.size() < kMaxRecorded) {
                const auto* e = reinterpret_cast<const vst2::VstMidiEvent*>(events->events[i]);
                received.push_back({static_cast<std::uint8_t>(e->midiData[0]),
                                    static_cast<std::uint8_t>(e->midiData[1]),
                                    static_cast<std::uint8_t>(e->midiData[2])});
            }
        }
        return 1;
    }
    void ProcessReplacing(float** inputs, float** outputs, std::int32_t frames) noexcept override {
        ++processCalls;
        lastInputs = inputs;
        for (int c = 0; c < 2; ++c) {
            for (std::int32_t i = 0; i < frames; ++i) {
                outputs[c][i] = passInputs ? gain * inputs[c][i] : (c == 0 ? left : right);
            }
        }
    }

    static constexpr std::size_t kMaxRecorded = 1 << 16;
    float left, right;
    bool passInputs = false;
    float gain = 1.0f;
    std::atomic<bool> active{true};
    std::intptr_t canDoMidi = 1;
    int canDoCalls = 0;
    int processEventsCalls = 0;
    int processCalls = 0;
    float** lastInputs = nullptr;
    std::vector<std::array<std::uint8_t, 3>> received;
};

/// A collection of plugins addressed by index, as SlotMap addresses them.
class FakePluginHost : public IEnginePluginHost {
public:
    IEnginePlugin* EnginePlugin(std::int32_t index) noexcept override {
        return index >= 0 && index < static_cast<std::int32_t>(plugins.size()) ? plugins[index]
                                                                               : nullptr;
    }
    std::vector<IEnginePlugin*> plugins;
};

} // namespace peldor::test
