#include "plugins/plugin_scan.h"

#include "engine/processor.h"
#include "i18n/plugins_strings.h"
#include "plugins/host_values.h"
#include "plugins/plugin_path_form.h"
#include "plugins/registry_file.h"
#include "plugins/vst_host.h"
#include "plugins/vst_plugin.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <utility>

namespace peldor {
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
    if (!scratch.LoadLibraryModule(libraryPath)) {
        result.Failure = scratch.LastLoadError();
        scratch.PlaceEffect(nullptr);
        return result;
    }
    scratch.OnAudioMasterWantMidi = [](TVstPlugIn&) { NoteWantsMidi(); };

    vst2::AEffect* effect = nullptr;
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
        try {
            scratch.SetActive(true);
        } catch (const std::exception& error) {
            result.Failure = error.what();
            scratch.PlaceEffect(nullptr);
            return result;
        }
        Busy(environment, false);
        Run(environment.ProcessMessages);
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
        scratch.SetActive(false);
        (instrument ? result.Instruments : result.Effects).push_back(std::move(entry));
    } else {
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
                             const TScanEnvironment& environment) {
    TScanReport report;
    InstrumentCatalogue.clear();
    EffectCatalogue.clear();
    InstrumentMenu = {};
    EffectMenu = {};
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
    for (const std::string& path : FindFiles(folder, kPluginMask, true)) {
        Report(environment.Status, scanning + FileNameOf(path));
        Busy(environment, true);
        Run(environment.ProcessMessages);
        TLibraryScanResult result =
            ScanLibrary(scratch, path, RelativeFolder(folder, path), environment);
        for (PlgListRecord& entry : result.Instruments) {
            InstrumentCatalogue.push_back(std::move(entry));
        }
        for (PlgListRecord& entry : result.Effects) {
            EffectCatalogue.push_back(std::move(entry));
        }
        if (!result.Failure.empty()) {
            report.Failures.push_back({path, result.Failure});
        }
    }
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

TScanReport ScanPlugins(TVstHost& host, const TScanEnvironment& environment) {
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
            InstrumentMenu = {};
            EffectMenu = {};
            return TScanReport{};
        }
    }
    return ScanPluginFolder(host, folder, environment);
}

} // namespace peldor
