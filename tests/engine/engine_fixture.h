#pragma once
// A processor wired for tests: a current strip-state table, fake plugins, a few driver input
// and output buffers, and every engine global put back afterwards.

#include "engine/event_queue.h"
#include "engine/processor.h"
#include "engine/strip_table.h"
#include "tests/engine/fake_plugins.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace peldor::test {

inline void ResetEngineGlobals() {
    CurrentStrips = nullptr;
    ProcessingEnabled = false;
    for (auto& entry : SlotMap) {
        entry = -1;
    }
    for (int k = 0; k < kInputStripCount; ++k) {
        ChannelAssignment.Input(k) = -1;
    }
    ChannelAssignment.OutMainL = -1;
    ChannelAssignment.OutMainR = -1;
    ChannelAssignment.OutMon1 = -1;
    ChannelAssignment.OutMon2 = -1;
    ChannelAssignment.OutSoloL = -1;
    ChannelAssignment.OutSoloR = -1;
    InitStripTable();
    InitEventQueues();
}

class EngineFixture : public ::testing::Test {
protected:
    static constexpr int kFrames = 64;
    static constexpr int kDriverChannels = 8;

    void SetUp() override {
        ResetEngineGlobals();
        processor = std::make_unique<TProcessor>(&hostStandIn, &host);
        processor->SetSampleRate(48000.0f);
        // A loaded test machine may hold a worker past a 1.3 ms period; these tests check what
        // the mix is, not whether it makes the period.
        processor->SetPassDeadline(std::chrono::seconds(10));
        processor->SetBlockSize(kFrames);
        strips = std::make_unique<TStripStates>();
        InitStripStates(strips.get());
        CurrentStrips = strips.get();
        ProcessingEnabled = true;
        inputs.assign(kDriverChannels, std::vector<float>(kFrames, 0.0f));
        outputs.assign(kDriverChannels, std::vector<float>(kFrames, 0.0f));
    }

    void TearDown() override {
        ResetEngineGlobals();
        processor.reset();
    }

    /// Puts a plugin into slot (0-15 instruments, 16-19 effects).
    void Assign(int slot, FakePlugin& plugin) {
        host.plugins.push_back(&plugin);
        SlotMap[slot] = static_cast<std::int32_t>(host.plugins.size() - 1);
    }

    /// One block with zeroed driver outputs, as the host prepares them.
    void Run() {
        for (auto& out : outputs) {
            std::fill(out.begin(), out.end(), 0.0f);
        }
        const float* in[kDriverChannels];
        float* out[kDriverChannels];
        for (int c = 0; c < kDriverChannels; ++c) {
            in[c] = inputs[c].data();
            out[c] = outputs[c].data();
        }
        processor->ProcessBlock(in, kDriverChannels, out, kDriverChannels);
    }

    TStripState& Strip(int tableIndex) { return (*strips)[tableIndex]; }
    TStripState& Instrument(int slot) { return Strip(kFirstInstrumentStrip + slot); }
    TStripState& Effect(int e) { return Strip(kFirstEffectStrip + e); }
    TStripState& Input(int k) { return Strip(kFirstInputStrip + k); }
    TStripState& Master() { return Strip(kMasterStrip); }
    TStripState& Monitor(int m) { return Strip(kFirstMonitorStrip + m); }
    TStripState& Aux(int a) { return Strip(kFirstAuxStrip + a); }
    TMixerSettings& Mix() { return StripTable.MixerSettings; }

    float MasterL(int i = 0) { return processor->MasterBus()[0][i]; }
    float MasterR(int i = 0) { return processor->MasterBus()[1][i]; }
    float SoloL(int i = 0) { return processor->SoloBus()[0][i]; }
    float SoloR(int i = 0) { return processor->SoloBus()[1][i]; }
    float AuxL(int a, int i = 0) { return processor->AuxBus(a)[0][i]; }
    float AuxR(int a, int i = 0) { return processor->AuxBus(a)[1][i]; }
    float Mon(int m, int i = 0) { return processor->MonitorBus(m)[i]; }

    const int hostStandIn = 0;
    FakePluginHost host;
    std::unique_ptr<TProcessor> processor;
    std::unique_ptr<TStripStates> strips;
    std::vector<std::vector<float>> inputs;
    std::vector<std::vector<float>> outputs;
};

} // namespace peldor::test
