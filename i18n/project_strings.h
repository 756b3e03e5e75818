#pragma once
// Resource strings of project/ (identifiers in the project range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringId kStrMaxConnectionsReached = 2000;

inline constexpr ResourceStringEntry kProjectStrings[] = {
    {kStrMaxConnectionsReached, "Sorry, maximum number of connections reached."},
};

} // namespace peldor
