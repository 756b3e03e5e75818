#pragma once
// The registry file: an INI file standing in for the system registry. Keys are sections
// ("SOFTWARE\VST"), values are keys ("VSTPluginsPath"); section and key names match without
// regard to case. Read and written afresh for every access. Window thread.

#include <filesystem>
#include <optional>
#include <string>

namespace peldor {

inline constexpr const char* kVstRegistryKey = "SOFTWARE\\VST";
inline constexpr const char* kVstPluginsPathValue = "VSTPluginsPath";

/// Where the registry file is: explicitPath when not empty (the --registry option), else
/// $PELDOR_REGISTRY, else $XDG_CONFIG_HOME/peldor/registry.ini, else
/// $HOME/.config/peldor/registry.ini. The file need not exist.
std::filesystem::path ResolveRegistryPath(const std::string& explicitPath = {});

/// The registry file the program uses; ResolveRegistryPath() until SetRegistryFile is called.
std::filesystem::path RegistryFile();
void SetRegistryFile(const std::filesystem::path& path);

/// The string value name under key, or nothing when the file, the key or the value is missing.
/// A file that cannot be parsed reads as empty.
std::optional<std::string> ReadRegistryString(const std::filesystem::path& file,
                                              const std::string& key, const std::string& name);
/// Writes the value (creating the file, its folder and the key when missing) and keeps the
/// file's other keys and values. The file is replaced whole, so a failed write never leaves
/// half a file. Returns false and sets error when it cannot be written.
bool WriteRegistryString(const std::filesystem::path& file, const std::string& key,
                         const std::string& name, const std::string& value,
                         std::string* error = nullptr);

/// The VST plugin folder registered in RegistryFile(); empty when none (an empty value counts
/// as none).
std::string ReadVstPluginsPath();

} // namespace peldor
