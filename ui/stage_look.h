#pragma once
// The application-wide dark look: Qt's Fusion style with a palette made of the flat controls'
// colours, so that the menus, menu bar, status bar, buttons, scroll bars, edit fields, lists,
// combo boxes, tooltips and file dialogs read as light text on dark ground. Windows that set
// their own colours (message boxes, splash, about, the flat controls) keep them.
//
// Window thread only.

#include <QPalette>

class QApplication;

namespace peldor {

/// The palette of the dark look: light text on dark ground in every group, a dimmer but still
/// legible text for disabled widgets, and the accent for focus and selection.
QPalette StagePalette();

/// Applies the style, the palette and the tooltip palette to the whole application. Call it
/// once, right after the QApplication is created and before any window exists.
void ApplyStageLook(QApplication& application);

} // namespace peldor
