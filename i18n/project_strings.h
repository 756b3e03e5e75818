#pragma once
// Resource strings of project/ (identifiers in the project range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kProjectStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
