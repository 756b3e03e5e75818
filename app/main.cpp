// Peldor's entry point. Until the drivers, the project file and the headless runner are in
// place, it starts the engine, plays the test tone through a few blocks and reports.

#include "engine/numeric.h"
#include "engine/processor.h"
#include "engine/strip_table.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

class NoPlugins final : public peldor::IEnginePluginHost {
public:
    peldor::IEnginePlugin* EnginePlugin(std::int32_t) noexcept override { return nullptr; }
};

} // namespace

int main() {
    using namespace peldor;
    constexpr float kSampleRate = 48000.0f;
    constexpr int kBlock = 256;
    constexpr int kOutputs = 2;

    InitStripTable();
    NoPlugins plugins;
    const int hostStandIn = 0;
    TProcessor processor(&hostStandIn, &plugins);
    processor.SetVariant(TProcessor::ProcessorHasSse() ? TProcessor::Variant::Sse
                                                       : TProcessor::Variant::Scalar);
    processor.SetSampleRate(kSampleRate);
    processor.SetBlockSize(kBlock);

    auto strips = std::make_unique<TStripStates>();
    InitStripStates(strips.get());
    (*strips)[kMasterStrip].Level = 1.0f;
    StripTable.MixerSettings.oscactive = 1;
    StripTable.MixerSettings.oscfrq = 1;
    processor.UpdateOscillator();
    ChannelAssignment.OutMainL = 0;
    ChannelAssignment.OutMainR = 1;
    CurrentStrips = strips.get();
    ProcessingEnabled = true;

    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[kOutputs] = {left.data(), right.data()};
    constexpr int kBlocks = 100;
    for (int b = 0; b < kBlocks; ++b) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        processor.ProcessBlock(nullptr, 0, outputs, kOutputs);
    }
    CurrentStrips = nullptr;

    std::printf("Peldor engine: %s kernels, %s, block %d\n",
                processor.GetVariant() == TProcessor::Variant::Sse ? "SSE" : "x87",
                FormatValue(5, "Hz", false, kSampleRate).c_str(), kBlock);
    std::printf("Test tone %.0f Hz through the master for %d blocks: master meter %.3f / %.3f\n",
                static_cast<double>(processor.Oscillator().Frequency), kBlocks,
                static_cast<double>((*strips)[kMasterStrip].MeterL),
                static_cast<double>((*strips)[kMasterStrip].MeterR));
    return 0;
}
