// Writing and reading a large show: 40 songs x 10 parts x 32 connections with 4 KB of plugin
// state in every part slot (about 33 MB). Figures in bytes per second; the reading benchmark
// also reports the memory it needs beyond the resulting model, as a multiple of the file size.

#include "project/project_file.h"
#include "tests/project/project_samples.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Resident memory of this process from /proc/self/status, in bytes ("VmRSS", "VmHWM").
long long StatusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            constexpr long long kKiB = 1024;
            return std::atoll(line.c_str() + prefix.size()) * kKiB;
        }
    }
    return -1;
}

// Starts a new peak of resident memory (VmHWM); false when the system does not allow it.
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

} // namespace

namespace {

using namespace peldor;

constexpr int kSongs = 40;
constexpr int kParts = 10;
constexpr int kConnections = 32;
constexpr int kStateBytes = 4096;

// The large show saved once, removed at exit.
struct LargeShowFile {
    LargeShowFile()
        : path(std::filesystem::temp_directory_path() /
               ("peldor-bench-" + std::to_string(::getpid()) + ".pdp")) {
        StripReleaseWaitMs = 0;
        InstallProject(
            std::move(test::LargeImage(kSongs, kParts, kConnections, kStateBytes).Project));
        std::string message;
        if (!SaveProjectFile(path, message)) {
            std::abort();
        }
        DestroyProject();
    }
    ~LargeShowFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::filesystem::path path;
};

const std::filesystem::path& LargeFile() {
    static const LargeShowFile file;
    return file.path;
}

void BM_WriteProject_Large(benchmark::State& state) {
    StripReleaseWaitMs = 0;
    InstallProject(std::move(test::LargeImage(kSongs, kParts, kConnections, kStateBytes).Project));
    std::size_t bytes = 0;
    for (auto _ : state) {
        TByteBuffer file;
        TByteWriter writer(file);
        WriteProject(writer);
        WriteWindowLayout(writer);
        bytes = file.size();
        benchmark::DoNotOptimize(file.data());
    }
    DestroyProject();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["FileBytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WriteProject_Large)->Unit(benchmark::kMillisecond);

// The whole save: written, flushed to disk and renamed over the old file.
void BM_SaveProjectFile_Large(benchmark::State& state) {
    StripReleaseWaitMs = 0;
    const std::filesystem::path path = LargeFile();
    InstallProject(std::move(test::LargeImage(kSongs, kParts, kConnections, kStateBytes).Project));
    for (auto _ : state) {
        std::string message;
        if (!SaveProjectFile(path, message)) {
            state.SkipWithError(message.c_str());
            break;
        }
    }
    DestroyProject();
    state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)) *
                            state.iterations());
}
BENCHMARK(BM_SaveProjectFile_Large)->Unit(benchmark::kMillisecond);

// Reading: the file into memory, checked and parsed into a complete model. Memory: the peak
// of resident memory during the read above what stays resident afterwards (the model), as a
// multiple of the file size.
void BM_ReadProject_Large(benchmark::State& state) {
    const std::filesystem::path path = LargeFile();
    const auto fileSize = static_cast<double>(std::filesystem::file_size(path));
    double worstOverhead = -1.0;
    for (auto _ : state) {
        state.PauseTiming();
        const bool measured = ResetPeakMemory();
        state.ResumeTiming();
        auto image = std::make_unique<TProjectFileImage>();
        std::string message;
        if (!LoadProjectImage(path, *image, message)) {
            state.SkipWithError(message.c_str());
            break;
        }
        state.PauseTiming();
        if (measured) {
            const long long overhead = StatusBytes("VmHWM") - StatusBytes("VmRSS");
            worstOverhead = std::max(worstOverhead, static_cast<double>(overhead) / fileSize);
        }
        benchmark::DoNotOptimize(image->Project.get());
        image.reset(); // taking the model down again is not reading
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(fileSize) * state.iterations());
    state.counters["FileBytes"] = fileSize;
    state.counters["ReadMemoryPerFileByte"] = worstOverhead;
}
BENCHMARK(BM_ReadProject_Large)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
