#pragma once
// The plugin folder scan: finds the VST plugin folder, reads every plugin library in it once
// through the host's scratch plugin object, and sorts what it finds into the instrument and
// effect catalogues, from which it builds the two choice menus.
//
// One library is read by ScanLibrary, a function of the library alone whose result is plain
// data. The program runs it in a child process per library (peldor-plugin-probe, see
// plugin_probe.h), so a crashing or hanging plugin cannot take the program down, and keeps the
// results in a cache (scan_cache.h) so that an unchanged library is not read again.
//
// Window thread only, before the program starts processing audio: the scratch object is in no
// slot, so the engine never touches it.

#include "plugins/plugin_catalogue.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace peldor {

class TVstHost;
class TVstPlugIn;
class IPluginPathDialog;

/// The library files the scan reads: "*.so", matched without regard to case.
inline constexpr const char* kPluginMask = "*.so";

/// Full paths of the files in folder matching mask (a shell wildcard pattern, matched without
/// regard to case), hidden files included. With recurse, the files of every sub-folder come
/// first (recursively, each folder's entries in name order), then the folder's own. Folders
/// already visited through a symbolic link are not entered again; unreadable folders are
/// skipped. Paths are never cut.
std::vector<std::string> FindFiles(const std::string& folder, const std::string& mask,
                                   bool recurse);

/// The part of libraryPath between pluginFolder and the file name, without leading or trailing
/// separator: "Synths/Pads" for /vst and /vst/Synths/Pads/x.so, empty for /vst/x.so or a path
/// outside the folder. A trailing separator on pluginFolder makes no difference.
std::string RelativeFolder(const std::string& pluginFolder, const std::string& libraryPath);

/// What the scan made of one library.
struct TLibraryScanResult {
    /// Entries in scan order; instruments and effects each keep their own order.
    std::vector<PlgListRecord> Instruments;
    std::vector<PlgListRecord> Effects;
    /// Why the library was skipped; empty when it was read.
    std::string Failure;
    /// The failure is not the library's (its probe could not be started or was stopped from
    /// outside): not remembered.
    bool Transient = false;
};

/// A library the scan skipped and why.
struct TScanFailure {
    std::string LibraryFile;
    std::string Reason;
};

/// What the windows show while the scan runs. Every member may be empty.
struct TScanEnvironment {
    /// The splash window's status line.
    std::function<void(const std::string&)> Status;
    /// Lets the window thread handle pending messages between libraries.
    std::function<void()> ProcessMessages;
    /// true: hourglass cursor, false: normal cursor.
    std::function<void(bool busy)> BusyCursor;
    /// Shows the splash window again after the plugin folder dialog.
    std::function<void()> ShowSplash;
    /// Asked when no plugin folder is registered; null behaves as "Continue without plugins".
    IPluginPathDialog* PathDialog = nullptr;
    /// Attaches the finished menus to the instruments and effects windows' plugin panels.
    std::function<void(const TPluginMenu& instruments, const TPluginMenu& effects)> AttachMenus;
    /// ScanLibrary announces each step before it takes it (one of the kStage... texts), so
    /// that a probe that dies can be told where.
    std::function<void(const char* stage)> Stage;
};

/// The steps of reading a library, as failure reasons name them ("... while opening").
inline constexpr const char* kStageLoading = "loading";
inline constexpr const char* kStageEntry = "calling the entry function";
inline constexpr const char* kStageOpening = "opening";
inline constexpr const char* kStageReading = "reading its name and kind";
inline constexpr const char* kStageClosing = "closing";
inline constexpr const char* kStageShell = "listing its sub-plugins";

/// How long a probe may take before it is killed, and how many run at once (the small stage
/// machines have two cores).
inline constexpr std::chrono::milliseconds kProbeTimeout{10000};
inline constexpr int kProbeParallel = 2;

enum class TScanMethod {
    /// Each library in a child process of its own, through the cache.
    Probe,
    /// Each library in this process, as ScanLibrary reads it; nothing cached. A plugin that
    /// crashes takes the process with it.
    InProcess,
};

/// How the folder scan reads the libraries.
struct TScanOptions {
    TScanMethod Method = TScanMethod::Probe;
    /// The cache file; empty: DefaultScanCachePath().
    std::filesystem::path CacheFile;
    bool UseCache = true;
    /// Reads every library again, whatever the cache holds (the cache is rewritten).
    bool Rescan = false;
    /// The probe program; empty: FindPluginProbe(). Without one the scan runs in process.
    std::string ProbeProgram;
    std::chrono::milliseconds ProbeTimeout = kProbeTimeout;
    int ProbeParallel = kProbeParallel;
};

/// The outcome of a whole scan.
struct TScanReport {
    /// The folder scanned; empty when the user chose to go on without plugins.
    std::string PluginFolder;
    /// False when no folder was scanned (no catalogues, no menus).
    bool Scanned = false;
    std::vector<TScanFailure> Failures;
    /// Libraries read by a probe, and libraries whose result came from the cache.
    std::int32_t Probed = 0;
    std::int32_t FromCache = 0;
    /// The libraries were read in this process (asked for, or no probe program was found).
    bool InProcess = false;
    bool ProbeMissing = false;
    /// Why the cache could not be written; empty when it was or did not need to be.
    std::string CacheError;
};

/// The libraries the last scan left out, with the reasons: the program's list of plugin
/// problems. A library listed here is never loaded into a slot.
extern std::vector<TScanFailure> PluginProblems;
/// The entry of PluginProblems for libraryFile, or null.
const TScanFailure* FindPluginProblem(const std::string& libraryFile);

/// Reads one library through scratch: loads it, calls its entry function and either opens it
/// to read its name and kind (an ordinary plugin) or lists its sub-plugins (a shell). Clears
/// and reads the engine's WantsMidi. A library that cannot be loaded, has no entry function,
/// whose entry function raises or returns no effect, whose effect fails the magic test or
/// whose dispatcher raises while it is read gives no entries and a Failure. The library stays
/// loaded; scratch is left without an effect.
TLibraryScanResult ScanLibrary(TVstPlugIn& scratch, const std::string& libraryPath,
                               const std::string& subFolder,
                               const TScanEnvironment& environment = {});

/// Scans folder: fills InstrumentCatalogue and EffectCatalogue (replacing what they held),
/// builds InstrumentMenu and EffectMenu and attaches them. The scratch object is the host's
/// first plugin object (one is added when the collection is empty). With the probe method the
/// libraries are read in child processes (at most options.ProbeParallel at a time) and through
/// the cache; the catalogues come out exactly as the in-process scan makes them for every
/// library that behaves. Fills PluginProblems.
TScanReport ScanPluginFolder(TVstHost& host, const std::string& folder,
                             const TScanEnvironment& environment = {},
                             const TScanOptions& options = {});

/// The start-up scan: the folder registered in the registry file, or the one the plugin folder
/// dialog yields, then ScanPluginFolder. Without a folder the catalogues stay empty and no
/// menus are made.
TScanReport ScanPlugins(TVstHost& host, const TScanEnvironment& environment = {},
                        const TScanOptions& options = {});

} // namespace peldor
