#pragma once
// The settings file "peldor.ini": an INI file with one section per window or topic, decimal
// integers and booleans as 0 and 1. It is opened afresh for every read and every write, so the
// audio drivers (which read their own sections) and the program never hold a stale copy.
// Section and key names match without regard to case.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace peldor {

/// The file name beside the program.
inline constexpr const char* kSettingsFileName = "peldor.ini";

/// Where the settings file is: explicitPath when not empty (the --ini option), else
/// $PELDOR_INI, else "peldor.ini" in the program's own folder. The file need not exist.
std::filesystem::path ResolveSettingsPath(const std::string& explicitPath = {});

/// Window thread. Each call reads or rewrites the whole file; not for the audio or MIDI threads.
class TSettingsFile {
public:
    explicit TSettingsFile(std::filesystem::path thePath) : path(std::move(thePath)) {}

    const std::filesystem::path& Path() const noexcept { return path; }

    /// A decimal integer; the default when the file, the key or a number is missing, and when
    /// the number does not fit 32 bits.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;
    /// 0 or 1 (also true/false, yes/no, on/off); the default when missing.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    /// Whether the file has the section (empty or not).
    bool HasSection(const std::string& section) const;

    /// Writes the keys of one section, keeping everything else in the file, and replaces the
    /// file on disk atomically. False with the reason in error when the file cannot be read or
    /// written; the old file is then left as it was.
    bool Write(const std::string& section,
               const std::vector<std::pair<std::string, std::string>>& values,
               std::string* error = nullptr) const;
    bool WriteInteger(const std::string& section, const std::string& key, std::int32_t value,
                      std::string* error = nullptr) const;

private:
    std::filesystem::path path;
};

} // namespace peldor
