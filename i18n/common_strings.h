#pragma once
// Shared resource strings: button captions and general captions.

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringId kStrOk = 100;
inline constexpr ResourceStringId kStrCancel = 101;
inline constexpr ResourceStringId kStrYes = 102;
inline constexpr ResourceStringId kStrNo = 103;
inline constexpr ResourceStringId kStrProblem = 110;

inline constexpr ResourceStringEntry kCommonStrings[] = {
    {kStrOk, "OK"}, {kStrCancel, "Cancel"},   {kStrYes, "Yes"},
    {kStrNo, "No"}, {kStrProblem, "Problem"},
};

} // namespace peldor
