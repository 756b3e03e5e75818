#pragma once
// Resource strings of app/ (identifiers in the app range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

// Naming the first song and part of a new project.
inline constexpr ResourceStringId kStrSongNameTitle = 6000;
inline constexpr ResourceStringId kStrSongNamePrompt = 6001;
inline constexpr ResourceStringId kStrPartNameTitle = 6002;
inline constexpr ResourceStringId kStrPartNamePrompt = 6003;

inline constexpr ResourceStringEntry kAppStrings[] = {
    {kStrSongNameTitle, "Song name"},
    {kStrSongNamePrompt, "Please give a song name"},
    {kStrPartNameTitle, "Part name"},
    {kStrPartNamePrompt, "Please give a part name"},
};

} // namespace peldor
