#pragma once
// Resource strings of audio_io/ (identifiers in the audio_io range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringEntry kAudioIoStrings[] = {
    {0, ""}, // placeholder, keeps the table non-empty
};

} // namespace peldor
