#pragma once
// Resource strings of plugins/ (identifiers in the plugins range, see resource_strings.h).

#include "i18n/resource_strings.h"

namespace peldor {

// Loading plugins and the host callback.
inline constexpr ResourceStringId kStrGetLastErrorTitle = 4000;
inline constexpr ResourceStringId kStrPluginWarningTitle = 4001;
inline constexpr ResourceStringId kStrCheckPrefix = 4002;
inline constexpr ResourceStringId kStrPreviousPlugTitle = 4003;
inline constexpr ResourceStringId kStrPreviousPlugText = 4004;

// The plugin folder scan and the choice menus.
inline constexpr ResourceStringId kStrScanningPlugins = 4100;
inline constexpr ResourceStringId kStrScanning = 4101;
inline constexpr ResourceStringId kStrInitializingPopups = 4102;
inline constexpr ResourceStringId kStrNoInstrument = 4103;
inline constexpr ResourceStringId kStrNoEffect = 4104;

// The plugin folder dialog.
inline constexpr ResourceStringId kStrPluginPathFormCaption = 4200;
inline constexpr ResourceStringId kStrPluginPathLine1 = 4201;
inline constexpr ResourceStringId kStrPluginPathLine2 = 4202;
inline constexpr ResourceStringId kStrPluginPathLine3 = 4203;
inline constexpr ResourceStringId kStrPluginPathLine4 = 4204;
inline constexpr ResourceStringId kStrPluginPathLine5 = 4205;
inline constexpr ResourceStringId kStrPluginPathCreate = 4206;
inline constexpr ResourceStringId kStrPluginPathPick = 4207;
inline constexpr ResourceStringId kStrPluginPathContinue = 4208;
inline constexpr ResourceStringId kStrPluginPathTitle = 4209;
inline constexpr ResourceStringId kStrPluginPathInstall = 4210;
inline constexpr ResourceStringId kStrPluginPathInstallEnd = 4211;
inline constexpr ResourceStringId kStrPluginPathTemporary = 4212;
inline constexpr ResourceStringId kStrPluginPathTemporaryEnd = 4213;
inline constexpr ResourceStringId kStrPluginPathContinueQuestion = 4214;
inline constexpr ResourceStringId kStrPluginPathWriteFailed = 4215;

inline constexpr ResourceStringEntry kPluginsStrings[] = {
    {kStrGetLastErrorTitle, "GetLastError"},
    {kStrPluginWarningTitle, "Warning"},
    {kStrCheckPrefix, "Check: "},
    {kStrPreviousPlugTitle, "Plugin"},
    {kStrPreviousPlugText,
     "This plugin asked for the previous plugin in the chain (audioMasterGetPreviousPlug), "
     "which Peldor does not offer. Please report the plugin to the makers of Peldor."},

    {kStrScanningPlugins, "Scanning plugins..."},
    {kStrScanning, "Scanning: "},
    {kStrInitializingPopups, "Initializing popups..."},
    {kStrNoInstrument, "no instrument"},
    {kStrNoEffect, "no effect"},

    {kStrPluginPathFormCaption, "VST Plugins"},
    {kStrPluginPathLine1, "Your system does not have a valid VST-plugin-folder."},
    {kStrPluginPathLine2, "Please choose an option below to solve that issue."},
    {kStrPluginPathLine3, "If you pick a plugin-folder please copy all your plugins into that"},
    {kStrPluginPathLine4, "folder beforehand. If you create a plugin-folder, PELDOR will"},
    {kStrPluginPathLine5, "install this path in your system as the default VST-plugin-folder."},
    {kStrPluginPathCreate, "Create a plugin-folder"},
    {kStrPluginPathPick, "Pick a plugin-folder"},
    {kStrPluginPathContinue, "Continue without plugins"},
    {kStrPluginPathTitle, "Plugin path"},
    {kStrPluginPathInstall, "This will install '"},
    {kStrPluginPathInstallEnd, "' as your plugin folder."},
    {kStrPluginPathTemporary, "This will use '"},
    {kStrPluginPathTemporaryEnd, "' as your temporary plugin folder."},
    {kStrPluginPathContinueQuestion, "Continue?"},
    {kStrPluginPathWriteFailed, "The plugin folder could not be registered: "},
};

} // namespace peldor
