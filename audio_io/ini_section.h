#pragma once
// Reads one section of an INI settings file. The file is loaded afresh by the constructor;
// section and key names match without regard to case. A missing file or key gives the default.
// Window thread (or whichever thread opens a driver); not real-time safe.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace peldor {

class TIniSection {
public:
    TIniSection(const std::filesystem::path& path, std::string section);
    ~TIniSection();
    TIniSection(const TIniSection&) = delete;
    TIniSection& operator=(const TIniSection&) = delete;

    /// Decimal integer; the default when missing or not a number.
    std::int64_t Integer(const char* key, std::int64_t defaultValue) const;
    /// 0/1 (also true/false, yes/no, on/off); the default when missing.
    bool Bool(const char* key, bool defaultValue) const;
    std::string String(const char* key, const std::string& defaultValue) const;
    /// Number with a fraction allowed; the default when missing or not a number.
    double Float(const char* key, double defaultValue) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
    std::string section;
};

} // namespace peldor
