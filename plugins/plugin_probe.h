#pragma once
// Reading plugin libraries in child processes. Each library is read by its own run of
// peldor-plugin-probe, so a library that crashes, hangs or ends the process on its own takes
// only the probe with it; the scan gets the library's entries or the reason it failed
// ("crashed: segmentation fault while opening", "did not answer in 10 s", "exited with
// code 3").
//
// Window thread (the scan). Starting a probe forks the program (posix_spawn): never from the
// driver's callback thread.

#include "plugins/plugin_scan.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace peldor {

/// The probe program's file name; it sits beside the programs in the build tree and in
/// lib/peldor/ of an installation.
inline constexpr const char* kPluginProbeName = "peldor-plugin-probe";
/// The most a probe may write; more is garbage (a shell with kMaxShellPlugins long names
/// stays far below it).
inline constexpr std::size_t kProbeAnswerLimit = 4u << 20;

/// The probe program: $PELDOR_PLUGIN_PROBE when set, else peldor-plugin-probe in the running
/// program's folder, else in ../lib/peldor/ from there (installed), else the one in the build
/// tree. Empty when none is executable.
std::string FindPluginProbe();

/// One library to read.
struct TProbeJob {
    std::string LibraryFile;
    std::string SubFolder;
};

struct TProbeSettings {
    /// The probe program (see FindPluginProbe).
    std::string Program;
    std::chrono::milliseconds Timeout = kProbeTimeout;
    int Parallel = kProbeParallel;
};

/// Reads every job's library in a probe of its own, at most settings.Parallel at a time, and
/// returns the results in job order. A probe that fails gives no entries and the reason as
/// Failure. started(i), when given, runs on the calling thread as job i's probe starts.
std::vector<TLibraryScanResult> RunProbes(const std::vector<TProbeJob>& jobs,
                                          const TProbeSettings& settings,
                                          const std::function<void(std::size_t)>& started = {});

/// How a signal reads in a failure reason: "segmentation fault", "abort", ...
std::string SignalDescription(int signal);

} // namespace peldor
