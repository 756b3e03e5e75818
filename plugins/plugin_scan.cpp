#include "plugins/plugin_scan.h"

#include "engine/processor.h"
#include "i18n/plugins_strings.h"
#include "plugins/host_values.h"
#include "plugins/plugin_path_form.h"
#include "plugins/plugin_probe.h"
#include "plugins/registry_file.h"
#include "plugins/scan_cache.h"
#include "plugins/vst_host.h"
#include "plugins/vst_plugin.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unordered_set>
#include <utility>

namespace peldor {

std::vector<TScanFailure> PluginProblems;

namespace {

using TVisitedFolders = std::set<std::pair<dev_t, ino_t>>;

/// Entry names of a folder (without "." and ".."), in a stable order: without regard to case
/// first, then byte by byte. The file system's own order is arbitrary on Linux, and catalogue
/// indices must not change from one start to the next.
std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int folded = strcasecmp(a.c_str(), b.c_str());
        return folded != 0 ? folded < 0 : a < b;
    });
    return names;
}

void FindFilesIn(const std::string& folder, const std::string& mask, bool recurse,
                 TVisitedFolders& visited, std::vector<std::string>& found) {
    struct stat folderInfo {};
    if (stat(folder.c_str(), &folderInfo) != 0 ||
        !visited.insert({folderInfo.st_dev, folderInfo.st_ino}).second) {
        return;
    }
    const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
    const std::vector<std::string> names = FolderEntries(folder);
    std::vector<std::string> files;
    for (const std::string& name : names) {
        const std::string path = prefix + name;
        struct stat info {};
        const bool isFolder = stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if (isFolder) {
            if (recurse) {
                FindFilesIn(path, mask, recurse, visited, found);
            }
        } else if (fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0) {
            files.push_back(path);
        }
    }
    found.insert(found.end(), files.begin(), files.end());
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void Report(const std::function<void(const std::string&)>& status, const std::string& text) {
    if (status) {
        status(text);
    }
}

void Run(const std::function<void()>& action) {
    if (action) {
        action();
    }
}

void Busy(const TScanEnvironment& environment, bool busy) {
    if (environment.BusyCursor) {
        environment.BusyCursor(busy);
    }
}

void Stage(const TScanEnvironment& environment, const char* stage) {
    if (environment.Stage) {
        environment.Stage(stage);
    }
}

/// The cache's key for a library: its absolute path.
std::string CacheKey(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

/// Reads the libraries that the cache does not know (or all of them, for a fresh scan) through
/// probes, and the rest from the cache; results in file order.
void ReadThroughProbes(const std::string& folder, const std::vector<std::string>& files,
                       const std::string& probeProgram, const TScanEnvironment& environment,
                       const TScanOptions& options, std::vector<TLibraryScanResult>& results,
                       TScanReport& report) {
    const std::filesystem::path cachePath =
        options.CacheFile.empty() ? DefaultScanCachePath() : options.CacheFile;
    const bool useCache = options.UseCache && !cachePath.empty();
    TScanCache cache;
    if (useCache) {
        cache.Load(cachePath);
    }
    const std::size_t cachedBefore = cache.Count();

    std::vector<std::string> keys(files.size());
    std::vector<TLibraryStamp> stamps(files.size());
    std::vector<bool> stamped(files.size(), false);
    std::vector<TProbeJob> jobs;
    std::vector<std::size_t> jobFiles;
    for (std::size_t i = 0; i < files.size(); ++i) {
        keys[i] = CacheKey(files[i]);
        stamped[i] = LibraryStampOf(files[i], stamps[i]);
        const std::string subFolder = RelativeFolder(folder, files[i]);
        if (useCache && !options.Rescan && stamped[i] &&
            cache.Find(keys[i], stamps[i], files[i], subFolder, results[i])) {
            ++report.FromCache;
            continue;
        }
        jobs.push_back({files[i], subFolder});
        jobFiles.push_back(i);
    }

    TProbeSettings settings;
    settings.Program = probeProgram;
    settings.Timeout = options.ProbeTimeout;
    settings.Parallel = options.ProbeParallel;
    const std::string scanning = LoadResString(kStrScanning);
    std::vector<TLibraryScanResult> probed = RunProbes(jobs, settings, [&](std::size_t job) {
        Report(environment.Status, scanning + FileNameOf(jobs[job].LibraryFile));
        Busy(environment, true);
        Run(environment.ProcessMessages);
    });
    report.Probed = static_cast<std::int32_t>(jobs.size());

    bool changed = false;
    for (std::size_t j = 0; j < jobs.size(); ++j) {
        const std::size_t i = jobFiles[j];
        results[i] = std::move(probed[j]);
        if (useCache && stamped[i] && !results[i].Transient) {
            cache.Put(keys[i], stamps[i], results[i]);
            changed = true;
        }
    }
    if (!useCache) {
        return;
    }
    // Libraries that left the folder leave the cache; other folders' entries stay.
    const std::unordered_set<std::string> present(keys.begin(), keys.end());
    const std::size_t beforeForgetting = cache.Count();
    cache.ForgetUnder(CacheKey(folder),
                      [&](const std::string& key) { return present.count(key) != 0; });
    changed = changed || cache.Count() != beforeForgetting || cache.Count() < cachedBefore;
    if (changed) {
        std::string error;
        if (!cache.Save(cachePath, error)) {
            report.CacheError = cachePath.string() + ": " + error;
        }
    }
}

std::string DescribeException(const char* what) {
    return std::string("the entry function raised an exception") +
           (what != nullptr && *what != '\0' ? std::string(": ") + what : std::string());
}

} // namespace

std::vector<std::string> FindFiles(const std::string& folder, const std::string& mask,
                                   bool recurse) {
    std::vector<std::string> found;
    TVisitedFolders visited;
    FindFilesIn(folder, mask, recurse, visited, found);
    return found;
}

std::string RelativeFolder(const std::string& pluginFolder, const std::string& libraryPath) {
    std::string folder = pluginFolder;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    const std::string prefix = folder == "/" ? folder : folder + "/";
    if (libraryPath.compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    const std::size_t lastSlash = libraryPath.find_last_of('/');
    if (lastSlash == std::string::npos || lastSlash < prefix.size()) {
        return {};
    }
    std::string relative = libraryPath.substr(prefix.size(), lastSlash - prefix.size());
    while (!relative.empty() && relative.front() == '/') {
        relative.erase(relative.begin());
    }
    return relative;
}

TLibraryScanResult ScanLibrary(TVstPlugIn& scratch, const std::string& libraryPath,
                               const std::string& subFolder, const TScanEnvironment& environment) {
    TLibraryScanResult result;
    const std::string fileName = FileNameOf(libraryPath);
    WantsMidi = false;
    Stage(environment, kStageLoading);
    if (!scratch.LoadLibraryModule(libraryPath)) {
        result.Failure = scratch.LastLoadError();
        scratch.PlaceEffect(nullptr);
        return result;
    }
    scratch.OnAudioMasterWantMidi = [](TVstPlugIn&) { NoteWantsMidi(); };

    vst2::AEffect* effect = nullptr;
    Stage(environment, kStageEntry);
    try {
        effect = scratch.CallEntryPoint();
    } catch (const std::exception& error) {
        result.Failure = DescribeException(error.what());
    } catch (...) {
        result.Failure = DescribeException(nullptr);
    }
    if (!result.Failure.empty()) {
        scratch.PlaceEffect(nullptr);
        return result;
    }
    if (effect == nullptr) {
        result.Failure = "the entry function returned no effect";
        scratch.PlaceEffect(nullptr);
        return result;
    }
    if (effect->magic != vst2::kEffectMagic) {
        result.Failure = kErrNoMagic;
        scratch.PlaceEffect(nullptr);
        return result;
    }
    scratch.PlaceEffect(effect);
    const std::int32_t faultsBefore = scratch.DispatchFaults();
    const bool programChunks = (effect->flags & vst2::effFlagsProgramChunks) != 0;

    if (effect->uniqueID != 0) {
        Stage(environment, kStageOpening);
        try {
            scratch.SetActive(true);
        } catch (const std::exception& error) {
            result.Failure = error.what();
            scratch.PlaceEffect(nullptr);
            return result;
        }
        Busy(environment, false);
        Run(environment.ProcessMessages);
        Stage(environment, kStageReading);
        PlgListRecord entry;
        entry.PluginName = scratch.GetEffectName();
        if (entry.PluginName.empty()) {
            entry.PluginName = fileName;
        }
        entry.LibraryFile = libraryPath;
        entry.SubFolder = subFolder;
        entry.IsShell = 0;
        entry.ShellID = -1;
        entry.Inputs = scratch.numInputs();
        entry.Outputs = scratch.numOutputs();
        entry.ProgramChunks = programChunks ? 1 : 0;
        const bool instrument = WantsMidi && scratch.PlugCategory() != TPlugCategory::kpcEffect;
        Stage(environment, kStageClosing);
        scratch.SetActive(false);
        (instrument ? result.Instruments : result.Effects).push_back(std::move(entry));
    } else {
        Stage(environment, kStageShell);
        const std::string scanning = LoadResString(kStrScanning);
        std::string name;
        for (int count = 0; count < kMaxShellPlugins; ++count) {
            const std::int32_t id = scratch.ShellGetNextPluginUnchecked(name);
            if (id == 0) {
                break;
            }
            Report(environment.Status, "[" + scanning + "]" + fileName + " " + name);
            PlgListRecord entry;
            entry.PluginName = name;
            entry.LibraryFile = libraryPath;
            entry.SubFolder = subFolder;
            entry.IsShell = 1;
            entry.ShellID = id;
            entry.Inputs = scratch.numInputs();
            entry.Outputs = scratch.numOutputs();
            entry.ProgramChunks = programChunks ? 1 : 0;
            result.Effects.push_back(std::move(entry));
        }
    }
    // The shell's effect was never opened and an ordinary one is closed by now: nothing may be
    // sent to either through the scratch object later.
    scratch.PlaceEffect(nullptr);

    if (scratch.DispatchFaults() != faultsBefore) {
        result.Instruments.clear();
        result.Effects.clear();
        result.Failure = "the plugin raised an exception in its dispatcher";
    }
    return result;
}

TScanReport ScanPluginFolder(TVstHost& host, const std::string& folder,
                             const TScanEnvironment& environment, const TScanOptions& options) {
    TScanReport report;
    InstrumentCatalogue.clear();
    EffectCatalogue.clear();
    InstrumentMenu = {};
    EffectMenu = {};
    PluginProblems.clear();
    if (folder.empty()) {
        return report;
    }
    report.PluginFolder = folder;
    report.Scanned = true;
    CurrentShellPluginId = 0;

    TVstPlugIns& plugIns = host.VstPlugIns();
    if (plugIns.Count() == 0) {
        plugIns.Add();
    }
    TVstPlugIn& scratch = *plugIns.Items(0);
    const std::string scanning = LoadResString(kStrScanning);
    const std::vector<std::string> files = FindFiles(folder, kPluginMask, true);
    std::vector<TLibraryScanResult> results(files.size());

    std::string probeProgram;
    if (options.Method == TScanMethod::Probe) {
        probeProgram = options.ProbeProgram.empty() ? FindPluginProbe() : options.ProbeProgram;
        report.ProbeMissing = probeProgram.empty();
    }
    if (probeProgram.empty()) {
        report.InProcess = true;
        for (std::size_t i = 0; i < files.size(); ++i) {
            Report(environment.Status, scanning + FileNameOf(files[i]));
            Busy(environment, true);
            Run(environment.ProcessMessages);
            results[i] =
                ScanLibrary(scratch, files[i], RelativeFolder(folder, files[i]), environment);
        }
    } else {
        ReadThroughProbes(folder, files, probeProgram, environment, options, results, report);
    }

    for (std::size_t i = 0; i < files.size(); ++i) {
        TLibraryScanResult& result = results[i];
        for (PlgListRecord& entry : result.Instruments) {
            InstrumentCatalogue.push_back(std::move(entry));
        }
        for (PlgListRecord& entry : result.Effects) {
            if (!report.InProcess && entry.IsShell == 1) {
                // What the in-process scan shows while it lists a shell's sub-plugins.
                Report(environment.Status,
                       "[" + scanning + "]" + FileNameOf(files[i]) + " " + entry.PluginName);
            }
            EffectCatalogue.push_back(std::move(entry));
        }
        if (!result.Failure.empty()) {
            report.Failures.push_back({files[i], result.Failure});
        }
    }
    PluginProblems = report.Failures;
    Busy(environment, false);
    Run(environment.ProcessMessages);

    Report(environment.Status, LoadResString(kStrInitializingPopups));
    InstrumentMenu = BuildInstrumentMenu(InstrumentCatalogue);
    EffectMenu = BuildEffectMenu(EffectCatalogue);
    if (environment.AttachMenus) {
        environment.AttachMenus(InstrumentMenu, EffectMenu);
    }
    Report(environment.Status, "");
    return report;
}

const TScanFailure* FindPluginProblem(const std::string& libraryFile) {
    for (const TScanFailure& problem : PluginProblems) {
        if (problem.LibraryFile == libraryFile) {
            return &problem;
        }
    }
    return nullptr;
}

TScanReport ScanPlugins(TVstHost& host, const TScanEnvironment& environment,
                        const TScanOptions& options) {
    Report(environment.Status, LoadResString(kStrScanningPlugins));
    CurrentShellPluginId = 0;
    std::string folder = ReadVstPluginsPath();
    if (folder.empty()) {
        TPluginPathForm form;
        int result = kPluginPathCancel;
        if (environment.PathDialog != nullptr) {
            result = environment.PathDialog->ShowModal(form);
        } else {
            form.btnContinueClick();
        }
        if (result == kPluginPathOk && !form.PluginPath.empty()) {
            folder = form.PluginPath;
            Run(environment.ShowSplash);
            Run(environment.ProcessMessages);
        } else {
            Run(environment.ProcessMessages);
            InstrumentCatalogue.clear();
            EffectCatalogue.clear();
            PluginProblems.clear();
            InstrumentMenu = {};
            EffectMenu = {};
            return TScanReport{};
        }
    }
    return ScanPluginFolder(host, folder, environment, options);
}

} // namespace peldor
