#pragma once
// Shared resource strings: button captions and general captions.

#include "i18n/resource_strings.h"

namespace peldor {

inline constexpr ResourceStringId kStrOk = 100;
inline constexpr ResourceStringId kStrCancel = 101;
inline constexpr ResourceStringId kStrYes = 102;
inline constexpr ResourceStringId kStrNo = 103;
inline constexpr ResourceStringId kStrProblem = 110;
// The localizer's own texts. %1 the path, %2 the value, %3 what went wrong.
inline constexpr ResourceStringId kStrTranslationError = 120;
inline constexpr ResourceStringId kStrUnknownLanguage = 121;

inline constexpr ResourceStringEntry kCommonStrings[] = {
    {kStrOk, "OK"},
    {kStrCancel, "Cancel"},
    {kStrYes, "Yes"},
    {kStrNo, "No"},
    {kStrProblem, "Problem"},
    {kStrTranslationError,
     "Error while translating \"%1\" and setting value \"%2\".\nError Message:\n%3"},
    {kStrUnknownLanguage, "<unbekannt>"},
};

} // namespace peldor
