// Speed of the sample conversion (each type in and out, 256 frames) and of a whole host block
// with 8 Int24LSB inputs and outputs around an engine that adds nothing.

#include "audio_io/asio_host.h"
#include "audio_io/dummy_driver.h"
#include "audio_io/sample_conversion.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace peldor;

constexpr std::int32_t kFrames = 256;

std::vector<float> Signal() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> s(kFrames);
    for (auto& v : s) {
        v = uniform(rng);
    }
    return s;
}

void ConvertIn(benchmark::State& state, ASIOSampleType type) {
    const std::vector<float> signal = Signal();
    std::vector<std::uint8_t> driver(kFrames * 8);
    PlainConversionSet().Out[type].oc32(signal.data(), driver.data(), kFrames);
    std::vector<float> host(kFrames);
    const TInConvert32 routine = InputConverter(type).ic32;
    for (auto _ : state) {
        routine(driver.data(), host.data(), kFrames);
        benchmark::DoNotOptimize(host.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void ConvertOut(benchmark::State& state, ASIOSampleType type) {
    const std::vector<float> signal = Signal();
    std::vector<std::uint8_t> driver(kFrames * 8);
    const TOutConvert32 routine = OutputConverter(type).oc32;
    for (auto _ : state) {
        routine(signal.data(), driver.data(), kFrames);
        benchmark::DoNotOptimize(driver.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
}

void NothingAdded(void*, const float* const*, std::int32_t, float* const*, std::int32_t,
                  std::int32_t) {}

void BM_HostBlock(benchmark::State& state) {
    TDummySettings settings;
    settings.BufferSize = static_cast<std::int32_t>(state.range(0));
    settings.Inputs = 8;
    settings.Outputs = 8;
    settings.SampleType = ASIOSTInt24LSB;
    TASIOHost host(
        {{kDummyDriverName, [settings] { return std::make_unique<TDummyDriver>(settings); }}});
    host.SetDriverIndex(0);
    host.SetOnBufferSwitch32(&NothingAdded, nullptr);
    std::int32_t half = 0;
    for (auto _ : state) {
        host.BufferSwitch(half);
        half ^= 1;
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_HostBlock)->Arg(64)->Arg(256)->Arg(1024);

} // namespace

int main(int argc, char** argv) {
    InitConversionTables();
    for (ASIOSampleType type : kConvertedSampleTypes) {
        benchmark::RegisterBenchmark((std::string("BM_Convert_In/") + SampleTypeName(type)).c_str(),
                                     [type](benchmark::State& state) { ConvertIn(state, type); });
    }
    for (ASIOSampleType type : kConvertedSampleTypes) {
        benchmark::RegisterBenchmark(
            (std::string("BM_Convert_Out/") + SampleTypeName(type)).c_str(),
            [type](benchmark::State& state) { ConvertOut(state, type); });
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
