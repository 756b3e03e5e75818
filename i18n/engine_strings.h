#pragma once
// Resource strings of engine/ (identifiers in the engine range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kEngineStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
