#pragma once
// The engine set up as the program runs it for a test tone: the 1 kHz oscillator routed to the
// master, the master at full level, a strip table current and processing enabled. Installs
// ProcessBlock as the host's 32-bit handler. Window thread.

#include "audio_io/asio_host.h"
#include "engine/processor.h"
#include "engine/strip_table.h"

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace peldor::test {

class NoPlugins final : public IEnginePluginHost {
public:
    IEnginePlugin* EnginePlugin(std::int32_t) noexcept override { return nullptr; }
};

class EngineRig {
public:
    /// Routes master left and right to driver outputs left and right (-1: unassigned).
    EngineRig(std::int32_t left, std::int32_t right) {
        InitStripTable();
        strips = std::make_unique<TStripStates>();
        InitStripStates(strips.get());
        (*strips)[kMasterStrip].Level = 1.0f;
        StripTable.MixerSettings.oscactive = 1;
        StripTable.MixerSettings.oscfrq = 1;
        ChannelAssignment.OutMainL = left;
        ChannelAssignment.OutMainR = right;
    }
    ~EngineRig() {
        CurrentStrips = nullptr;
        ProcessingEnabled = false;
        ChannelAssignment.OutMainL = -1;
        ChannelAssignment.OutMainR = -1;
    }

    /// Sizes the engine for the host's driver and installs it. Call with the driver stopped.
    void Attach(TCustomASIOHost& host) {
        processor.SetSampleRate(static_cast<float>(host.SampleRate()));
        processor.SetBlockSize(static_cast<std::int32_t>(host.BufferSize()));
        processor.UpdateOscillator();
        CurrentStrips = strips.get();
        ProcessingEnabled = true;
        host.SetOnBufferSwitch32(&TProcessor::BufferSwitch32, &processor);
    }

    NoPlugins plugins;
    int hostLink = 0;
    TProcessor processor{&hostLink, &plugins};
    std::unique_ptr<TStripStates> strips;
};

/// Amplitude of the component at frequency f (a single DFT bin).
inline double ToneAmplitude(const std::vector<float>& x, double rate, double f) {
    double re = 0.0, im = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double phase = 2.0 * std::numbers::pi * f * static_cast<double>(i) / rate;
        re += x[i] * std::cos(phase);
        im += x[i] * std::sin(phase);
    }
    return 2.0 * std::sqrt(re * re + im * im) / static_cast<double>(x.size());
}

/// Frequency estimated from rising zero crossings.
inline double ZeroCrossingFrequency(const std::vector<float>& x, double rate) {
    int first = -1, last = -1, crossings = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
            if (first < 0) {
                first = static_cast<int>(i);
            }
            last = static_cast<int>(i);
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

inline float Peak(const std::vector<float>& x) {
    float peak = 0.0f;
    for (float v : x) {
        peak = std::max(peak, std::fabs(v));
    }
    return peak;
}

} // namespace peldor::test
