// ProcessBlock with a full show's load: 16 instruments, 4 effects, 4 inputs, the test tone
// routed everywhere, every level, send and pan non-zero, nothing soloed. BM_BareMixing_* does
// only the scaled additions that such a block must do, over the same buffers, as the yardstick
// for the engine's own overhead (strip logic, passes, meters). BM_Passes_* compare the plugin
// passes shared with the workers against the driver's thread alone, with plugins that burn
// 40 us each; BM_ProcessBlock_Demo is the demo show's shape with no window reading the meters,
// BM_ProcessBlock_DemoMetered the same with a mixer shown (meters wanted).

#include "engine/event_queue.h"
#include "engine/mix_kernels.h"
#include "engine/processor.h"
#include "engine/strip_table.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using namespace peldor;

class ConstantPlugin final : public IEnginePlugin {
public:
    bool Active() const noexcept override { return true; }
    std::intptr_t CanDo(const char*) noexcept override { return 1; }
    std::intptr_t ProcessEvents(vst2::VstEvents*) noexcept override { return 1; }
    /// Only the engine writes nothing into a plugin's output pair, so after the first call the
    /// constant is already there: the figures measure the engine, not the fake.
    void ProcessReplacing(float**, float** outputs, std::int32_t frames) noexcept override {
        if (frames != written || outputs[0] != lastOutput) {
            std::fill_n(outputs[0], frames, 0.25f);
            std::fill_n(outputs[1], frames, -0.25f);
            written = frames;
            lastOutput = outputs[0];
        }
    }

private:
    std::int32_t written = 0;
    float* lastOutput = nullptr;
};

class Plugins final : public IEnginePluginHost {
public:
    IEnginePlugin* EnginePlugin(std::int32_t index) noexcept override {
        return index >= 0 && index < kSlotCount ? &plugins[index] : nullptr;
    }
    ConstantPlugin plugins[kSlotCount];
};

constexpr int kDriverChannels = 8;

struct Show {
    explicit Show(int frames) {
        InitStripTable();
        processor = std::make_unique<TProcessor>(&hostStandIn, &plugins);
        processor->SetSampleRate(48000.0f);
        processor->SetBlockSize(frames);
        strips = std::make_unique<TStripStates>();
        InitStripStates(strips.get());
        for (auto& s : *strips) {
            s.Level = 0.8f;
            s.Pan = 0.4f;
            for (auto& send : s.AuxSend) {
                send = 0.3f;
            }
            for (auto& send : s.MonSend) {
                send = 0.2f;
            }
        }
        for (int slot = 0; slot < kSlotCount; ++slot) {
            SlotMap[slot] = slot;
        }
        auto& m = StripTable.MixerSettings;
        m.oscactive = 1;
        for (auto* flag : {&m.osctomain, &m.osctomon1, &m.osctomon2, &m.osctosolo, &m.osctoaux1,
                           &m.osctoaux2, &m.osctoaux3, &m.osctoaux4}) {
            *flag = 1;
        }
        processor->UpdateOscillator();
        for (int k = 0; k < kInputStripCount; ++k) {
            ChannelAssignment.Input(k) = k;
        }
        ChannelAssignment.OutMainL = 0;
        ChannelAssignment.OutMainR = 1;
        ChannelAssignment.OutMon1 = 2;
        ChannelAssignment.OutMon2 = 3;
        ChannelAssignment.OutSoloL = 4;
        ChannelAssignment.OutSoloR = 5;
        inputs.assign(kDriverChannels, std::vector<float>(frames, 0.1f));
        outputs.assign(kDriverChannels, std::vector<float>(frames, 0.0f));
        for (int c = 0; c < kDriverChannels; ++c) {
            in[c] = inputs[c].data();
            out[c] = outputs[c].data();
        }
        CurrentStrips = strips.get();
        ProcessingEnabled = true;
        // A mixer is read all along: the full show's figures include the meters.
        processor->MetersWanted(std::chrono::hours(24));
    }
    ~Show() {
        ProcessingEnabled = false;
        CurrentStrips = nullptr;
    }

    const int hostStandIn = 0;
    Plugins plugins;
    std::unique_ptr<TProcessor> processor;
    std::unique_ptr<TStripStates> strips;
    std::vector<std::vector<float>> inputs, outputs;
    const float* in[kDriverChannels];
    float* out[kDriverChannels];
};

void RunProcessBlock(benchmark::State& state, TProcessor::Variant variant) {
    const int frames = static_cast<int>(state.range(0));
    Show show(frames);
    show.processor->SetVariant(variant);
    for (auto _ : state) {
        show.processor->ProcessBlock(show.in, kDriverChannels, show.out, kDriverChannels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void BM_ProcessBlock_SSE(benchmark::State& state) {
    RunProcessBlock(state, TProcessor::Variant::Sse);
}
void BM_ProcessBlock_Scalar(benchmark::State& state) {
    RunProcessBlock(state, TProcessor::Variant::Scalar);
}

// The scaled additions of one such block: aux buses 4 x (16 instruments x 2 + 4 inputs x 2),
// master 16 x 2 + 4 x 2 + 4 x 2, monitors 2 x (16 + 4 + 4), outputs 6.
template <typename Kernels> void BareMixing(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    Show show(frames);
    TProcessor& p = *show.processor;
    for (auto _ : state) {
        for (int a = 0; a < kAuxCount; ++a) {
            for (int i = 0; i < kInstrumentSlotCount; ++i) {
                Kernels::AddScaled(p.InstrumentOut(i)[0], p.AuxBus(a)[0], 0.1f, frames);
                Kernels::AddScaled(p.InstrumentOut(i)[1], p.AuxBus(a)[1], 0.1f, frames);
            }
            for (int k = 0; k < kInputStripCount; ++k) {
                Kernels::AddScaled(show.in[k], p.AuxBus(a)[0], 0.1f, frames);
                Kernels::AddScaled(show.in[k], p.AuxBus(a)[1], 0.1f, frames);
            }
        }
        for (int i = 0; i < kInstrumentSlotCount; ++i) {
            Kernels::AddScaled(p.InstrumentOut(i)[0], p.MasterBus()[0], 0.1f, frames);
            Kernels::AddScaled(p.InstrumentOut(i)[1], p.MasterBus()[1], 0.1f, frames);
        }
        for (int e = 0; e < kEffectSlotCount; ++e) {
            Kernels::AddScaled(p.EffectOut(e)[0], p.MasterBus()[0], 0.1f, frames);
            Kernels::AddScaled(p.EffectOut(e)[1], p.MasterBus()[1], 0.1f, frames);
        }
        for (int k = 0; k < kInputStripCount; ++k) {
            Kernels::AddScaled(show.in[k], p.MasterBus()[0], 0.1f, frames);
            Kernels::AddScaled(show.in[k], p.MasterBus()[1], 0.1f, frames);
        }
        for (int m = 0; m < kMonitorCount; ++m) {
            for (int i = 0; i < kInstrumentSlotCount; ++i) {
                Kernels::AddScaled(p.InstrumentOut(i)[0], p.MonitorBus(m), 0.1f, frames);
            }
            for (int k = 0; k < kInputStripCount; ++k) {
                Kernels::AddScaled(show.in[k], p.MonitorBus(m), 0.1f, frames);
            }
            for (int e = 0; e < kEffectSlotCount; ++e) {
                Kernels::AddScaled(p.EffectOut(e)[0], p.MonitorBus(m), 0.1f, frames);
            }
        }
        for (int c = 0; c < 6; ++c) {
            Kernels::AddScaled(p.MasterBus()[c % 2], show.out[c], 0.1f, frames);
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void BM_BareMixing_SSE(benchmark::State& state) {
    BareMixing<SseKernels>(state);
}
void BM_BareMixing_Scalar(benchmark::State& state) {
    BareMixing<ScalarKernels>(state);
}

/// Rounds of BusyPlugin's loop that take 40 us of CPU on this machine, measured once.
std::int64_t BurnRounds() {
    static const std::int64_t rounds = [] {
        constexpr std::int64_t kProbe = 2'000'000;
        volatile float sink = 0.0f;
        float x = 1.0f;
        const auto start = std::chrono::steady_clock::now();
        for (std::int64_t i = 0; i < kProbe; ++i) {
            x = x * 0.999999f + 0.000001f;
            asm volatile("" : "+x"(x)); // kept as a loop of dependent steps
        }
        sink = x;
        (void)sink;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return static_cast<std::int64_t>(kProbe * 40e-6 / seconds);
    }();
    return rounds;
}

/// A plugin that burns a fixed amount of CPU per block (about 40 us), as a heavy instrument
/// or reverb does, whether or not its thread is preempted meanwhile.
class BusyPlugin final : public IEnginePlugin {
public:
    bool Active() const noexcept override { return true; }
    std::intptr_t CanDo(const char*) noexcept override { return 1; }
    std::intptr_t ProcessEvents(vst2::VstEvents*) noexcept override { return 1; }
    void ProcessReplacing(float**, float** outputs, std::int32_t frames) noexcept override {
        float x = 1.0f;
        for (std::int64_t i = 0; i < rounds; ++i) {
            x = x * 0.999999f + 0.000001f;
            asm volatile("" : "+x"(x));
        }
        outputs[0][frames - 1] = x;
        outputs[1][frames - 1] = -x;
    }
    const std::int64_t rounds = BurnRounds();
};

class BusyPlugins final : public IEnginePluginHost {
public:
    IEnginePlugin* EnginePlugin(std::int32_t index) noexcept override {
        return index >= 0 && index < kSlotCount ? &plugins[index] : nullptr;
    }
    BusyPlugin plugins[kSlotCount];
};

/// N busy instruments and E busy effects, 256 frames, master to outputs 1-2; the workers on
/// (as many as the machine gives) or off. Wall time: the workers' CPU is not the caller's.
void RunPasses(benchmark::State& state, bool parallel) {
    constexpr int kFrames = 256;
    const int instruments = static_cast<int>(state.range(0));
    const int effects = static_cast<int>(state.range(1));
    InitStripTable();
    BusyPlugins plugins;
    const int hostStandIn = 0;
    TProcessor processor(&hostStandIn, &plugins);
    if (!parallel) {
        processor.SetWorkerCount(0);
    }
    processor.SetSampleRate(48000.0f);
    // The figures are about the passes' cost, not about meeting a 5 ms period on a busy box.
    processor.SetPassDeadline(std::chrono::seconds(1));
    processor.SetBlockSize(kFrames);
    auto strips = std::make_unique<TStripStates>();
    InitStripStates(strips.get());
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const bool used = slot < kInstrumentSlotCount ? slot < instruments
                                                      : slot - kInstrumentSlotCount < effects;
        SlotMap[slot] = used ? slot : -1;
        (*strips)[slot < kInstrumentSlotCount ? kFirstInstrumentStrip + slot
                                              : kFirstEffectStrip + slot - kInstrumentSlotCount]
            .Level = 0.5f;
    }
    (*strips)[kMasterStrip].Level = 1.0f;
    ChannelAssignment.OutMainL = 0;
    ChannelAssignment.OutMainR = 1;
    std::vector<std::vector<float>> outputs(2, std::vector<float>(kFrames, 0.0f));
    float* out[2] = {outputs[0].data(), outputs[1].data()};
    CurrentStrips = strips.get();
    ProcessingEnabled = true;
    for (auto _ : state) {
        processor.ProcessBlock(nullptr, 0, out, 2);
        benchmark::ClobberMemory();
    }
    state.counters["workers"] = processor.RunningWorkers();
    state.counters["overloads"] = static_cast<double>(processor.OverloadCount());
    ProcessingEnabled = false;
    CurrentStrips = nullptr;
    for (auto& entry : SlotMap) {
        entry = -1;
    }
}

void BM_Passes_Parallel(benchmark::State& state) {
    RunPasses(state, true);
}
void BM_Passes_Serial(benchmark::State& state) {
    RunPasses(state, false);
}

/// The demo show's shape: one instrument, the master to outputs 1-2, nothing else in use;
/// the meters computed or not.
void RunDemo(benchmark::State& state, bool metered) {
    const int frames = static_cast<int>(state.range(0));
    InitStripTable();
    Plugins plugins;
    const int hostStandIn = 0;
    TProcessor processor(&hostStandIn, &plugins);
    processor.SetVariant(TProcessor::ProcessorHasSse() ? TProcessor::Variant::Sse
                                                       : TProcessor::Variant::Scalar);
    processor.SetSampleRate(48000.0f);
    processor.SetBlockSize(frames);
    auto strips = std::make_unique<TStripStates>();
    InitStripStates(strips.get());
    (*strips)[kFirstInstrumentStrip].Level = 0.8f;
    (*strips)[kMasterStrip].Level = 1.0f;
    SlotMap[0] = 0;
    ChannelAssignment.OutMainL = 0;
    ChannelAssignment.OutMainR = 1;
    std::vector<std::vector<float>> outputs(2, std::vector<float>(frames, 0.0f));
    float* out[2] = {outputs[0].data(), outputs[1].data()};
    CurrentStrips = strips.get();
    ProcessingEnabled = true;
    if (metered) {
        processor.MetersWanted(std::chrono::hours(24));
    }
    for (auto _ : state) {
        processor.ProcessBlock(nullptr, 0, out, 2);
        benchmark::ClobberMemory();
    }
    state.counters["metered"] = static_cast<double>(processor.MeteredBlocks() > 0);
    ProcessingEnabled = false;
    CurrentStrips = nullptr;
    SlotMap[0] = -1;
    ChannelAssignment.OutMainL = -1;
    ChannelAssignment.OutMainR = -1;
}

void BM_ProcessBlock_Demo(benchmark::State& state) {
    RunDemo(state, false);
}
void BM_ProcessBlock_DemoMetered(benchmark::State& state) {
    RunDemo(state, true);
}

BENCHMARK(BM_Passes_Parallel)->Args({8, 4})->Args({1, 0})->Args({16, 4})->UseRealTime();
BENCHMARK(BM_Passes_Serial)->Args({8, 4})->Args({1, 0})->Args({16, 4})->UseRealTime();
BENCHMARK(BM_ProcessBlock_Demo)->Arg(256);
BENCHMARK(BM_ProcessBlock_DemoMetered)->Arg(256);
BENCHMARK(BM_ProcessBlock_SSE)->Arg(64)->Arg(256);
BENCHMARK(BM_ProcessBlock_Scalar)->Arg(64)->Arg(256);
BENCHMARK(BM_BareMixing_SSE)->Arg(64)->Arg(256);
BENCHMARK(BM_BareMixing_Scalar)->Arg(64)->Arg(256);

} // namespace

BENCHMARK_MAIN();
