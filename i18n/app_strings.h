#pragma once
// Resource strings of app/ (identifiers in the app range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kAppStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
