#pragma once
// The program's resource strings: run-time texts (messages, captions built at run time, status
// texts) looked up by a numeric identifier below 65536, so that a language file can translate
// them. The English texts are the program's own table.
//
// Identifier ranges by folder, so each area keeps its own table file:
//   1000-1999 engine, 2000-2999 project, 3000-3999 midi, 4000-4999 plugins,
//   5000-5999 audio_io, 6000-6999 app, 7000-7999 ui, 100-999 shared (buttons, captions).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace peldor {

using ResourceStringId = std::uint16_t;

struct ResourceStringEntry {
    ResourceStringId id;
    std::string_view text;
};

/// Translator consulted before the program's own table; the localizer installs one. Translate
/// may be called on any thread that loads resource strings.
class IResourceStringTranslator {
public:
    virtual ~IResourceStringTranslator() = default;
    /// Writes the translated text and returns true, or returns false to use the English text.
    virtual bool Translate(ResourceStringId id, std::string& text) = 0;
};

/// The text of a resource string, translated when a language is loaded. Unknown identifiers
/// give an empty text. Any thread but the audio and MIDI threads (it allocates).
std::string LoadResString(ResourceStringId id);

/// The English text from the program's own table (no translation).
std::string_view EnglishResString(ResourceStringId id);

/// Every entry of the program's own table (for checks that each one is translated).
std::vector<ResourceStringEntry> EnglishResStrings();

/// Installs the translator (null removes it). Window thread; the translator must stay usable
/// for calls that began before it was removed.
void SetResourceStringTranslator(IResourceStringTranslator* translator);

} // namespace peldor
