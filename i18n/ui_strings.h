#pragma once
// Resource strings of ui/ (identifiers in the ui range, see resource_strings.h).
// %1, %2, ... stand for the values filled in at run time.

#include "i18n/resource_strings.h"

namespace peldor {

// The plugin problems window.
inline constexpr ResourceStringId kStrProblemsFolder = 7000;
inline constexpr ResourceStringId kStrProblemsNoFolder = 7001;
inline constexpr ResourceStringId kStrProblemsNone = 7002;
inline constexpr ResourceStringId kStrProblemsOne = 7003;
inline constexpr ResourceStringId kStrProblemsMany = 7004;
inline constexpr ResourceStringId kStrProblemsLibrary = 7005;
inline constexpr ResourceStringId kStrProblemsReason = 7006;

// The main window's messages.
inline constexpr ResourceStringId kStrSorryTitle = 7010;
inline constexpr ResourceStringId kStrSorryText = 7011;
inline constexpr ResourceStringId kStrHelpTitle = 7012;
inline constexpr ResourceStringId kStrHelpMissing = 7013;
inline constexpr ResourceStringId kStrHelpNoBrowser = 7014;
inline constexpr ResourceStringId kStrAboutTitle = 7015;
inline constexpr ResourceStringId kStrAboutText = 7016;

// The audio settings and project options dialogs' messages.
inline constexpr ResourceStringId kStrNoAudioDriver = 7020;
inline constexpr ResourceStringId kStrQuitLearnQuestion = 7021;
inline constexpr ResourceStringId kStrProjectOptionsTitle = 7022;
// The project options' refusals of a field: the field's name, what was typed, the range.
inline constexpr ResourceStringId kStrOptionNotWholeNumber = 7040;
inline constexpr ResourceStringId kStrOptionEpsilon = 7041;
inline constexpr ResourceStringId kStrOptionSeparator = 7042;
inline constexpr ResourceStringId kStrOptionFilter = 7043;
inline constexpr ResourceStringId kStrOptionData = 7044;
inline constexpr ResourceStringId kStrOptionDecimalSeparator = 7045;
inline constexpr ResourceStringId kStrOptionThousandSeparator = 7046;

// The project window's name box for connections (songs and parts: app_strings.h).
inline constexpr ResourceStringId kStrConnectionNameTitle = 7030;
inline constexpr ResourceStringId kStrConnectionNamePrompt = 7031;

inline constexpr ResourceStringEntry kUiStrings[] = {
    {kStrProblemsFolder, "Plugin folder: %1"},
    {kStrProblemsNoFolder, "No plugin folder: running without plugins."},
    {kStrProblemsNone, "Every library was read."},
    {kStrProblemsOne, "1 library could not be read and is left out:"},
    {kStrProblemsMany, "%1 libraries could not be read and are left out:"},
    {kStrProblemsLibrary, "Library"},
    {kStrProblemsReason, "Reason"},
    {kStrSorryTitle, "Sorry"},
    {kStrSorryText, "This feature will be implemented in v1.0"},
    {kStrHelpTitle, "Help"},
    {kStrHelpMissing,
     "The help page peldor_en.html was not found. It belongs in the folder \"help\" beside the "
     "program or in share/peldor/help."},
    {kStrHelpNoBrowser, "No web browser could open the help page %1."},
    {kStrAboutTitle, "About PELDOR"},
    {kStrAboutText, "PELDOR, a live-performance host for VST 2 instruments and effects."},
    {kStrNoAudioDriver, "Sorry, no ASIO driver present. Application terminated."},
    {kStrQuitLearnQuestion, "You are still in MIDI-learn mode. Quit learn mode?"},
    {kStrProjectOptionsTitle, "Project options"},
    {kStrOptionNotWholeNumber, "%1, %2 %3: \"%4\" is not a whole number from %5 to %6."},
    {kStrOptionEpsilon, "Epsilon: \"%1\" is not a number of 0 or more, such as %2."},
    {kStrOptionSeparator, "%1: \"%2\" is not one character from the basic set (letters, "
                          "digits, punctuation or a space); leave the field empty for none."},
    {kStrOptionFilter, "Filter %1"},
    {kStrOptionData, "Data"},
    {kStrOptionDecimalSeparator, "Decimal separator"},
    {kStrOptionThousandSeparator, "Thousand separator"},
    {kStrConnectionNameTitle, "Connection name"},
    {kStrConnectionNamePrompt, "Please give a connection name"},
};

} // namespace peldor
