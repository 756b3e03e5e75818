// The plugin folder scan: a first scan of N test plugin libraries read by probes (a child
// process per library, two at a time) against the same scan in this process, and the start-up
// over an unchanged folder of 200 libraries, which reads only the cache. Also the cold and
// warm scan of this machine's /usr/lib/vst, when it exists.
//
// Targets: the probe scan at most 1.5 times the in-process scan; the warm scan of 200
// libraries under 50 ms.

#include "plugins/plugin_scan.h"
#include "plugins/vst_host.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kGoodPlugins[] = {"PeldorSynth", "PeldorGain", "PeldorShell",
                                        "Io2x2",       "MidiEffect", "EmptyName"};
constexpr int kWarmLibraries = 200;

/// A fresh folder under the system's temporary folder, removed at the end.
class BenchFolder {
public:
    BenchFolder() {
        static std::atomic<int> counter{0};
        path = fs::temp_directory_path() / ("peldor-scan-bench-" + std::to_string(::getpid()) +
                                            "-" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~BenchFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

/// count copies of the good test plugins (every copy is a library of its own to the loader).
void FillFolder(const fs::path& folder, int count) {
    for (int i = 0; i < count; ++i) {
        const char* name = kGoodPlugins[i % std::size(kGoodPlugins)];
        fs::copy_file(fs::path(PELDOR_TESTPLUGIN_DIR) / (std::string(name) + ".so"),
                      folder / ("lib" + std::to_string(1000 + i) + "-" + name + ".so"));
    }
}

peldor::TScanOptions Options(const fs::path& cacheFolder, peldor::TScanMethod method) {
    peldor::TScanOptions options;
    options.Method = method;
    options.CacheFile = cacheFolder / "plugin-scan.cache";
    return options;
}

/// A first scan: fresh copies every iteration, so neither the loader nor the cache has seen
/// them.
void ColdScan(benchmark::State& state, peldor::TScanMethod method) {
    const int count = static_cast<int>(state.range(0));
    peldor::TVstHost host;
    for (auto _ : state) {
        state.PauseTiming();
        BenchFolder folder;
        BenchFolder cache;
        FillFolder(folder.path, count);
        state.ResumeTiming();
        const peldor::TScanReport report =
            peldor::ScanPluginFolder(host, folder.path.string(), {}, Options(cache.path, method));
        benchmark::DoNotOptimize(report.Failures.size());
        state.PauseTiming();
        if (peldor::EffectCatalogue.empty() || peldor::InstrumentCatalogue.empty()) {
            state.SkipWithError("the scan found nothing");
        }
        state.ResumeTiming();
    }
    state.counters["libraries"] = count;
}

void BM_ColdScanWithProbes(benchmark::State& state) {
    ColdScan(state, peldor::TScanMethod::Probe);
}
void BM_ColdScanInProcess(benchmark::State& state) {
    ColdScan(state, peldor::TScanMethod::InProcess);
}
BENCHMARK(BM_ColdScanWithProbes)->Arg(24)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColdScanInProcess)->Arg(24)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_WarmScanOf200Libraries(benchmark::State& state) {
    BenchFolder folder;
    BenchFolder cache;
    FillFolder(folder.path, kWarmLibraries);
    peldor::TVstHost host;
    const peldor::TScanOptions options = Options(cache.path, peldor::TScanMethod::Probe);
    peldor::ScanPluginFolder(host, folder.path.string(), {}, options);
    for (auto _ : state) {
        const peldor::TScanReport report =
            peldor::ScanPluginFolder(host, folder.path.string(), {}, options);
        if (report.Probed != 0) {
            state.SkipWithError("the warm scan probed a library");
        }
    }
    state.counters["libraries"] = kWarmLibraries;
}
BENCHMARK(BM_WarmScanOf200Libraries)->Unit(benchmark::kMillisecond);

/// This machine's installed plugins: cold (every library probed) and warm (from the cache).
void BM_UsrLibVst(benchmark::State& state) {
    const bool warm = state.range(0) != 0;
    const fs::path installed = "/usr/lib/vst";
    if (!fs::is_directory(installed)) {
        state.SkipWithError("/usr/lib/vst is missing");
        for (auto _ : state) {
        }
        return;
    }
    BenchFolder cache;
    peldor::TVstHost host;
    peldor::TScanOptions options = Options(cache.path, peldor::TScanMethod::Probe);
    peldor::ScanPluginFolder(host, installed.string(), {}, options);
    options.Rescan = !warm;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            peldor::ScanPluginFolder(host, installed.string(), {}, options).Probed);
    }
    state.counters["libraries"] = static_cast<double>(
        peldor::FindFiles(installed.string(), peldor::kPluginMask, true).size());
}
BENCHMARK(BM_UsrLibVst)
    ->ArgName("warm")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
