#pragma once
// Resource strings of midi/ (identifiers in the midi range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kMidiStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
