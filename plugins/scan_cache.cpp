#include "plugins/scan_cache.h"

#include "plugins/probe_answer.h"
#include "project/atomic_file.h"

#include <charconv>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>

namespace peldor {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

template <typename T> bool ParseInteger(std::string_view text, T& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end;
}

/// "library :<path> <size> <modified>"
bool ParseLibraryLine(std::string_view line, std::string& path, TLibraryStamp& stamp) {
    constexpr std::string_view kPrefix = "library ";
    if (line.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    line.remove_prefix(kPrefix.size());
    const std::size_t first = line.find(' ');
    if (first == std::string_view::npos) {
        return false;
    }
    const std::size_t second = line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return false;
    }
    return DecodeAnswerText(line.substr(0, first), path) && !path.empty() &&
           ParseInteger(line.substr(first + 1, second - first - 1), stamp.Size) &&
           ParseInteger(line.substr(second + 1), stamp.ModifiedNs);
}

} // namespace

bool LibraryStampOf(const std::string& path, TLibraryStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    stamp.Size = static_cast<std::uint64_t>(info.st_size);
    stamp.ModifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanosecondsPerSecond +
                       static_cast<std::int64_t>(info.st_mtim.tv_nsec);
    return true;
}

std::filesystem::path DefaultScanCachePath() {
    std::filesystem::path folder;
    const char* cacheHome = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (cacheHome != nullptr && cacheHome[0] == '/') {
        folder = cacheHome;
    } else if (home != nullptr && home[0] == '/') {
        folder = std::filesystem::path(home) / ".cache";
    } else {
        return {};
    }
    return folder / "peldor" / kScanCacheFileName;
}

bool TScanCache::Load(const std::filesystem::path& path) {
    entries.clear();
    std::error_code ec;
    if (path.empty() || !std::filesystem::is_regular_file(path, ec) ||
        std::filesystem::file_size(path, ec) > kScanCacheLimit || ec) {
        return false;
    }
    TByteBuffer bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, error)) {
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    std::map<std::string, TEntry> loaded;
    bool headerSeen = false;
    std::string library;
    TEntry entry;
    bool inLibrary = false;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lineEnd = text.find('\n', start);
        if (lineEnd == std::string_view::npos) {
            return false; // cut off
        }
        const std::string_view line = text.substr(start, lineEnd - start);
        start = lineEnd + 1;
        if (!headerSeen) {
            if (line != kScanCacheHeader) {
                return false;
            }
            headerSeen = true;
        } else if (!inLibrary) {
            if (!ParseLibraryLine(line, library, entry.Stamp) || loaded.count(library) != 0) {
                return false;
            }
            entry.Lines.clear();
            inLibrary = true;
        } else if (line == "end") {
            loaded.emplace(library, entry);
            inLibrary = false;
        } else {
            TLibraryScanResult check;
            if (!ParseResultLine(line, library, {}, check)) {
                return false;
            }
            entry.Lines.append(line);
            entry.Lines += '\n';
        }
    }
    if (!headerSeen || inLibrary) {
        return false;
    }
    // Each library's lines must also read as a whole (one failure at most).
    entries = std::move(loaded);
    for (const auto& [name, cached] : entries) {
        TLibraryScanResult result;
        if (!Find(name, cached.Stamp, name, {}, result)) {
            entries.clear();
            return false;
        }
    }
    return true;
}

bool TScanCache::Save(const std::filesystem::path& path, std::string& error) const {
    std::string text = std::string(kScanCacheHeader) + '\n';
    for (const auto& [library, entry] : entries) {
        text += "library " + EncodeAnswerText(library) + ' ' + std::to_string(entry.Stamp.Size) +
                ' ' + std::to_string(entry.Stamp.ModifiedNs) + '\n';
        text += entry.Lines;
        text += "end\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    return WriteFileAtomically(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), error);
}

bool TScanCache::Find(const std::string& library, const TLibraryStamp& stamp,
                      const std::string& libraryFile, const std::string& subFolder,
                      TLibraryScanResult& result) const {
    const auto found = entries.find(library);
    if (found == entries.end() || !(found->second.Stamp == stamp)) {
        return false;
    }
    result = TLibraryScanResult{};
    const std::string_view lines = found->second.Lines;
    std::size_t start = 0;
    while (start < lines.size()) {
        const std::size_t lineEnd = lines.find('\n', start);
        if (!ParseResultLine(lines.substr(start, lineEnd - start), libraryFile, subFolder,
                             result)) {
            return false;
        }
        start = lineEnd + 1;
    }
    return true;
}

void TScanCache::Put(const std::string& library, const TLibraryStamp& stamp,
                     const TLibraryScanResult& result) {
    entries[library] = TEntry{stamp, FormatResultLines(result)};
}

} // namespace peldor
