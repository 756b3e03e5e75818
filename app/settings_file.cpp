#include "app/settings_file.h"

#include "audio_io/ini_section.h"
#include "project/atomic_file.h"

// Debian's SimpleIni.h keeps its template bodies behind SI_IMPLEMENTATION; the settings file is
// UTF-8 in and out, so no conversion is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdlib>
#include <limits>
#include <span>

namespace peldor {
namespace {

std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : program.parent_path();
}

} // namespace

std::filesystem::path ResolveSettingsPath(const std::string& explicitPath) {
    if (!explicitPath.empty()) {
        return explicitPath;
    }
    if (const char* fromEnvironment = std::getenv("PELDOR_INI");
        fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    return ProgramFolder() / kSettingsFileName;
}

std::int32_t TSettingsFile::ReadInteger(const std::string& section, const std::string& key,
                                        std::int32_t defaultValue) const {
    const std::int64_t value = TIniSection(path, section).Integer(key.c_str(), defaultValue);
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return defaultValue;
    }
    return static_cast<std::int32_t>(value);
}

bool TSettingsFile::ReadBool(const std::string& section, const std::string& key,
                             bool defaultValue) const {
    return TIniSection(path, section).Bool(key.c_str(), defaultValue);
}

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
    return TIniSection(path, section).String(key.c_str(), defaultValue);
}

bool TSettingsFile::HasSection(const std::string& section) const {
    CSimpleIniA ini(true, false, false);
    std::error_code ec;
    // SimpleIni would take a folder's size for a file's and try to read that much.
    if (!std::filesystem::is_regular_file(path, ec) || ini.LoadFile(path.c_str()) < 0) {
        return false;
    }
    return ini.GetSection(section.c_str()) != nullptr;
}

bool TSettingsFile::Write(const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& values,
                          std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    CSimpleIniA ini(true, false, false);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        (!std::filesystem::is_regular_file(path, ec) || ini.LoadFile(path.c_str()) < 0)) {
        // Rewriting a file we cannot read would lose the sections we did not understand.
        return fail("cannot read " + path.string());
    }
    for (const auto& [key, value] : values) {
        if (ini.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) {
            return fail("cannot set " + key);
        }
    }
    std::string text;
    if (ini.Save(text) < 0) {
        return fail("cannot format " + path.string());
    }
    std::string reason;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!WriteFileAtomically(path, std::span<const std::uint8_t>(bytes, text.size()), reason)) {
        return fail(reason);
    }
    return true;
}

bool TSettingsFile::WriteInteger(const std::string& section, const std::string& key,
                                 std::int32_t value, std::string* error) const {
    return Write(section, {{key, std::to_string(value)}}, error);
}

} // namespace peldor
