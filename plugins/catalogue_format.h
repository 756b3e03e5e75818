#pragma once
// Text and JSON forms of the catalogues, as the peldor-scan tool prints them.

#include "plugins/plugin_catalogue.h"

#include <string>

namespace peldor {

/// text as a JSON string literal, quotes included. Control characters are escaped; bytes that
/// are not valid UTF-8 become U+FFFD, so the result is always valid JSON.
std::string JsonString(const std::string& text);

/// One line (without line end) naming the catalogue, the index and every field:
/// instrument 0 PluginName="Kars" LibraryFile="..." SubFolder="" IsShell=0 ShellID=-1 ...
/// Strings are written as JSON string literals.
std::string FormatCatalogueLine(const char* catalogue, std::size_t index,
                                const PlgListRecord& record);

/// A JSON array of objects, instruments first, then effects, each in catalogue order, with
/// "catalogue" ("instrument" or "effect"), "index" and every field by name. Ends with a line
/// end.
std::string CataloguesJson(const TPluginCatalogue& instruments, const TPluginCatalogue& effects);

} // namespace peldor
