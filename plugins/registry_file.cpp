#include "plugins/registry_file.h"

// Debian's SimpleIni.h holds its template definitions behind SI_IMPLEMENTATION (its prebuilt
// library pulls in ICU). UTF-8 in, UTF-8 out needs no conversion, so the header alone serves.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdlib>
#include <fstream>

namespace peldor {
namespace {

std::optional<std::filesystem::path> registryFile;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

} // namespace

std::filesystem::path ResolveRegistryPath(const std::string& explicitPath) {
    if (!explicitPath.empty()) {
        return explicitPath;
    }
    if (std::string fromEnvironment = Environment("PELDOR_REGISTRY"); !fromEnvironment.empty()) {
        return fromEnvironment;
    }
    std::filesystem::path configHome = Environment("XDG_CONFIG_HOME");
    if (configHome.empty()) {
        configHome = std::filesystem::path(Environment("HOME")) / ".config";
    }
    return configHome / "peldor" / "registry.ini";
}

std::filesystem::path RegistryFile() {
    return registryFile ? *registryFile : ResolveRegistryPath();
}

void SetRegistryFile(const std::filesystem::path& path) {
    registryFile = path;
}

std::optional<std::string> ReadRegistryString(const std::filesystem::path& file,
                                              const std::string& key, const std::string& name) {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (ini.LoadFile(file.c_str()) < 0) {
        return std::nullopt;
    }
    const char* value = ini.GetValue(key.c_str(), name.c_str(), nullptr);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

bool WriteRegistryString(const std::filesystem::path& file, const std::string& key,
                         const std::string& name, const std::string& value, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    CSimpleIniA ini;
    ini.SetUnicode(true);
    std::error_code ec;
    if (std::filesystem::exists(file, ec) && ini.LoadFile(file.c_str()) < 0) {
        return fail("cannot read " + file.string());
    }
    if (ini.SetValue(key.c_str(), name.c_str(), value.c_str()) < 0) {
        return fail("cannot set " + name);
    }
    std::string text;
    if (ini.Save(text) < 0) {
        return fail("cannot format " + file.string());
    }
    if (file.has_parent_path()) {
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec) {
            return fail("cannot create " + file.parent_path().string() + ": " + ec.message());
        }
    }
    const std::filesystem::path temporary = file.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::filesystem::remove(temporary, ec);
            return fail("cannot write " + temporary.string());
        }
    }
    std::filesystem::rename(temporary, file, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return fail("cannot replace " + file.string());
    }
    return true;
}

std::string ReadVstPluginsPath() {
    return ReadRegistryString(RegistryFile(), kVstRegistryKey, kVstPluginsPathValue)
        .value_or(std::string());
}

} // namespace peldor
