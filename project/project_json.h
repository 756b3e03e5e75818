#pragma once
// The stored fields of a project file as one JSON object, for the peldor-project tool and for
// anyone who wants to look into a show file.

#include "project/project_file.h"

#include <string>

namespace peldor {

/// Every stored field of a parsed file, keyed by field name. Strip arrays are in table-index
/// order. Floats are written with the fewest digits that give back the same value (NaN and
/// infinities as the strings "NaN", "Infinity", "-Infinity"). Texts are written as UTF-8;
/// bytes that are not UTF-8 are taken as Latin-1 characters. Any thread.
std::string ProjectImageToJson(const TProjectFileImage& image);

} // namespace peldor
