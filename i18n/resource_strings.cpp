#include "i18n/resource_strings.h"

#include "i18n/app_strings.h"
#include "i18n/audio_io_strings.h"
#include "i18n/common_strings.h"
#include "i18n/engine_strings.h"
#include "i18n/midi_strings.h"
#include "i18n/plugins_strings.h"
#include "i18n/project_strings.h"
#include "i18n/ui_strings.h"

#include <atomic>
#include <span>

namespace peldor {
namespace {

constexpr std::span<const ResourceStringEntry> kTables[] = {
    kCommonStrings,  kEngineStrings,  kProjectStrings, kMidiStrings,
    kPluginsStrings, kAudioIoStrings, kAppStrings,     kUiStrings,
};

/// Read by whichever thread loads a resource string; set on the window thread.
std::atomic<IResourceStringTranslator*> translator{nullptr};

} // namespace

std::string_view EnglishResString(ResourceStringId id) {
    if (id == 0) {
        return {};
    }
    for (const auto& table : kTables) {
        for (const auto& entry : table) {
            if (entry.id == id) {
                return entry.text;
            }
        }
    }
    return {};
}

std::vector<ResourceStringEntry> EnglishResStrings() {
    std::vector<ResourceStringEntry> entries;
    for (const auto& table : kTables) {
        for (const auto& entry : table) {
            if (entry.id != 0) {
                entries.push_back(entry);
            }
        }
    }
    return entries;
}

std::string LoadResString(ResourceStringId id) {
    std::string text;
    IResourceStringTranslator* current = translator.load(std::memory_order_acquire);
    if (current != nullptr && current->Translate(id, text)) {
        return text;
    }
    return std::string(EnglishResString(id));
}

void SetResourceStringTranslator(IResourceStringTranslator* newTranslator) {
    translator.store(newTranslator, std::memory_order_release);
}

} // namespace peldor
