#include "audio_io/ini_section.h"

// Settings files are UTF-8 and read as bytes; no wide-character conversion is needed.
#define SI_NO_CONVERSION
// Debian's header keeps its template bodies behind this switch.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cerrno>
#include <cstdlib>

namespace peldor {

struct TIniSection::Impl {
    CSimpleIniA ini{true, false, false};
};

TIniSection::TIniSection(const std::filesystem::path& path, std::string sectionName)
    : impl(std::make_unique<Impl>()), section(std::move(sectionName)) {
    if (!path.empty()) {
        impl->ini.LoadFile(path.c_str());
    }
}

TIniSection::~TIniSection() = default;

std::int64_t TIniSection::Integer(const char* key, std::int64_t defaultValue) const {
    const char* text = impl->ini.GetValue(section.c_str(), key, nullptr);
    if (text == nullptr) {
        return defaultValue;
    }
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text || errno != 0) {
        return defaultValue;
    }
    return value;
}

bool TIniSection::Bool(const char* key, bool defaultValue) const {
    return impl->ini.GetBoolValue(section.c_str(), key, defaultValue);
}

std::string TIniSection::String(const char* key, const std::string& defaultValue) const {
    const char* text = impl->ini.GetValue(section.c_str(), key, nullptr);
    return text == nullptr ? defaultValue : std::string(text);
}

double TIniSection::Float(const char* key, double defaultValue) const {
    const char* text = impl->ini.GetValue(section.c_str(), key, nullptr);
    if (text == nullptr) {
        return defaultValue;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? defaultValue : value;
}

} // namespace peldor
