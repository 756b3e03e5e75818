#pragma once
// What the plugin folder scan found per library, kept between starts: the entries a library
// gave, or why it failed, keyed by the library's path, size and modification time. An
// unchanged library is not read again; a failed one stays out until its file changes or a
// fresh scan is asked for.
//
// The file lives in $XDG_CACHE_HOME/peldor/ (else ~/.cache/peldor/). It is replaced atomically,
// so two programs scanning at once never leave a mixture on disk (the last writer wins), and
// it is read defensively: a file that is damaged in any way is ignored as a whole and rebuilt.
//
// Window thread (the scan). Reading and writing block on disk I/O.

#include "plugins/plugin_scan.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace peldor {

/// The cache file's first line; a file with another one is ignored.
inline constexpr const char* kScanCacheHeader = "peldor-plugin-cache 1";
inline constexpr const char* kScanCacheFileName = "plugin-scan.cache";
/// A cache file larger than this is not read (and gets rebuilt).
inline constexpr std::uintmax_t kScanCacheLimit = 64u << 20;

/// What identifies one state of a library file.
struct TLibraryStamp {
    std::uint64_t Size = 0;
    /// Modification time in nanoseconds since the epoch.
    std::int64_t ModifiedNs = 0;
    bool operator==(const TLibraryStamp&) const = default;
};

/// The stamp of the file at path (symbolic links followed); false when it cannot be read.
bool LibraryStampOf(const std::string& path, TLibraryStamp& stamp);

/// $XDG_CACHE_HOME/peldor/plugin-scan.cache, else ~/.cache/peldor/plugin-scan.cache; empty
/// when neither variable gives an absolute folder.
std::filesystem::path DefaultScanCachePath();

class TScanCache {
public:
    /// Reads the cache file. False, with an empty cache, when it is missing, unreadable, too
    /// large or damaged in any way.
    bool Load(const std::filesystem::path& path);
    /// Writes every entry through a new file renamed over path, creating the folder. False
    /// with the reason in error.
    bool Save(const std::filesystem::path& path, std::string& error) const;

    /// The cached result for library when its stamp is still the same; entries get
    /// libraryFile and subFolder.
    bool Find(const std::string& library, const TLibraryStamp& stamp,
              const std::string& libraryFile, const std::string& subFolder,
              TLibraryScanResult& result) const;
    /// Records result for library (replacing what was there).
    void Put(const std::string& library, const TLibraryStamp& stamp,
             const TLibraryScanResult& result);
    /// Forgets the libraries under folder that are not in keep.
    template <typename Keep> void ForgetUnder(const std::string& folder, const Keep& keep) {
        const std::string prefix = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
        for (auto it = entries.begin(); it != entries.end();) {
            if (it->first.compare(0, prefix.size(), prefix) == 0 && !keep(it->first)) {
                it = entries.erase(it);
            } else {
                ++it;
            }
        }
    }
    std::size_t Count() const { return entries.size(); }
    void Clear() { entries.clear(); }

private:
    struct TEntry {
        TLibraryStamp Stamp;
        /// The result's "entry" and "failed" lines, as the probe answer writes them.
        std::string Lines;
    };
    std::map<std::string, TEntry> entries;
};

} // namespace peldor
