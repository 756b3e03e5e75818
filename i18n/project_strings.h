#pragma once
// Resource strings of project/ (identifiers in the project range, see resource_strings.h).
// %1, %2, ... stand for the values filled in at run time.

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringId kStrMaxConnectionsReached = 2000;

// Reading and saving project files.
inline constexpr ResourceStringId kStrProjectDamaged = 2001;
inline constexpr ResourceStringId kStrProjectUnreadable = 2002;
inline constexpr ResourceStringId kStrProjectNotSaved = 2003;
inline constexpr ResourceStringId kStrNoProjectOpen = 2004;
inline constexpr ResourceStringId kStrPluginsMissing = 2005;

// What is wrong with a damaged project file.
inline constexpr ResourceStringId kStrDamageEndsEarly = 2010;
inline constexpr ResourceStringId kStrDamageTextLength = 2011;
inline constexpr ResourceStringId kStrDamageShortTextLength = 2012;
inline constexpr ResourceStringId kStrDamageSongCount = 2013;
inline constexpr ResourceStringId kStrDamagePartCount = 2014;
inline constexpr ResourceStringId kStrDamageConnectionCount = 2015;
inline constexpr ResourceStringId kStrDamageInPort = 2016;
inline constexpr ResourceStringId kStrDamageOutPort = 2017;
inline constexpr ResourceStringId kStrDamageInChannel = 2018;
inline constexpr ResourceStringId kStrDamageOutChannel = 2019;
inline constexpr ResourceStringId kStrDamageStateSize = 2020;
inline constexpr ResourceStringId kStrDamageStateFlag = 2021;
inline constexpr ResourceStringId kStrDamagePluginIndex = 2022;
inline constexpr ResourceStringId kStrDamageWindowFlag = 2023;

inline constexpr ResourceStringEntry kProjectStrings[] = {
    {kStrMaxConnectionsReached, "Sorry, maximum number of connections reached."},
    {kStrProjectDamaged,
     "The project file \"%1\" cannot be opened because it is damaged: %2 (at byte offset %3). "
     "The open project stays as it was."},
    {kStrProjectUnreadable, "The project file \"%1\" cannot be read: %2."},
    {kStrProjectNotSaved,
     "The project could not be saved to \"%1\": %2. The file on disk has not been changed."},
    {kStrNoProjectOpen, "no project is open"},
    {kStrPluginsMissing,
     "The plugins of these slots are not installed on this machine, so the slots stay empty: "
     "%1. The project keeps them; saving it does not lose them."},
    {kStrDamageEndsEarly, "the file ends early (at least %1 more bytes expected)"},
    {kStrDamageTextLength, "a text length of %1 bytes is impossible here"},
    {kStrDamageShortTextLength, "a strip name length of %1 exceeds its field of %2 characters"},
    {kStrDamageSongCount, "a song count of %1 is impossible here"},
    {kStrDamagePartCount, "a part count of %1 is impossible here"},
    {kStrDamageConnectionCount, "a connection count of %1 is outside 0-64"},
    {kStrDamageInPort, "an input device of %1 is outside 0-15"},
    {kStrDamageOutPort, "an output port of %1 is outside 0-31"},
    {kStrDamageInChannel, "an input channel of %1 is outside 0-16"},
    {kStrDamageOutChannel, "an output channel of %1 is outside 0-16"},
    {kStrDamageStateSize, "a plugin state size of %1 bytes is impossible here"},
    {kStrDamageStateFlag, "a plugin state flag of %1 is neither 0 nor 1"},
    {kStrDamagePluginIndex, "a plugin index of %1 is below -1"},
    {kStrDamageWindowFlag, "a window record flag of %1 is neither 0 nor 1"},
};

} // namespace peldor
