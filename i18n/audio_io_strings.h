#pragma once
// Resource strings of audio_io/ (identifiers in the audio_io range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringId kStrAsioDriverFailed = 5000;

inline constexpr ResourceStringEntry kAudioIoStrings[] = {
    {kStrAsioDriverFailed, "ASIO Driver Failed!"},
};

} // namespace peldor
