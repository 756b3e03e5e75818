#pragma once
// Language files: Windows resource modules (PE files holding only resources) with one
// RT_RCDATA resource per translated class (named by the class name in upper case: a sequence
// of path/value entries, each string a 32-bit byte count and UTF-16LE text) and one per
// translated resource string (numbered by its identifier: UTF-16LE text).
//
// Their readable source, one text file per language (UTF-8):
//   ; a comment (also blank lines)
//   TMAINFORM MainForm.Caption = PELDOR
//   TMAINFORM Memo1.Lines(2). = third line
//   #4103 = kein Instrument
// The value is everything after "=" and one space; "\n", "\r", "\t" and "\\" are escapes.
// Plain C++, any thread.

#include "i18n/pe_resources.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace peldor {

/// One entry of a class's translation: the property path and the value (UTF-8).
struct TTranslationEntry {
    std::string Path;
    std::string Value;
    bool operator==(const TTranslationEntry&) const = default;
};

/// What a language file holds, in readable form.
struct TLanguageSource {
    /// Per class name (upper case), its entries in file order.
    std::map<std::string, std::vector<TTranslationEntry>> Classes;
    /// Per resource-string identifier (below 65536), its text.
    std::map<std::uint32_t, std::string> Strings;
    bool operator==(const TLanguageSource&) const = default;
};

/// Parses a translation source; on failure the reason names the line.
bool ParseLanguageSource(std::string_view text, TLanguageSource& source, std::string& reason);
/// The readable form, which parses back to the same source when CanFormatLanguageSource says so.
std::string FormatLanguageSource(const TLanguageSource& source);
/// False, with the reason, when a class name or path has no readable form (empty, with white
/// space or "=", or a comment's start) or an identifier is outside 1-65535; files made by other
/// tools may hold such resources, which the program never looks up.
bool CanFormatLanguageSource(const TLanguageSource& source, std::string& reason);

/// A class's resource data.
std::vector<std::uint8_t> EncodeTranslationEntries(const std::vector<TTranslationEntry>& entries);
/// Reads a class's resource data. A stream that ends inside an entry, or with an odd byte
/// count, gives the entries before it and false with a reason.
bool DecodeTranslationEntries(std::span<const std::uint8_t> data,
                              std::vector<TTranslationEntry>& entries, std::string& reason);

/// A language file (a PE32+ resource-only DLL) holding the source's resources under the given
/// language identifier.
std::vector<std::uint8_t> BuildLanguageModule(const TLanguageSource& source,
                                              std::uint16_t languageId);
/// The readable form of a language file's resources.
bool LanguageSourceFromResources(const TPeResources& resources, TLanguageSource& source,
                                 std::string& reason);

} // namespace peldor
