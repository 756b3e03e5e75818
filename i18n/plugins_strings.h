#pragma once
// Resource strings of plugins/ (identifiers in the plugins range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kPluginsStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
