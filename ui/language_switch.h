#pragma once
// The windows' side of the localizer: which Qt objects are windows, the string lists of Qt's
// item controls, and the language switch of the main window.
//
// Window thread only.

#include <QString>

#include <cstdint>

class QObject;

namespace peldor {

/// Tells the program's localizer which objects are windows (every top-level widget but pop-up
/// menus) and how to reach the items of combo boxes and list widgets ("Items(n).") and the
/// tab captions of tab widgets ("Tabs(n)."). Idempotent.
void InstallWidgetLocalizer();

/// Loads the language of a code (1031 German, any other English) from the language files and
/// re-translates every window; then gives the plugin choice menus' first items the new
/// language's "no instrument" / "no effect". Without a language file the windows keep their
/// texts and resource strings are English. Returns the localizer's error text when a window
/// could not be translated, else an empty text.
QString SwitchWindowsLanguage(std::int16_t code);

/// Translates one window from the loaded language (a window calls it at the end of its
/// creation); returns the error text as SwitchWindowsLanguage does.
QString TranslateWindow(QObject* window);

} // namespace peldor
