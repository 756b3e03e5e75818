#pragma once
// The frame of the borderless tool dialogs (project options, MIDI settings): a title bar to
// drag them by with an "X" button at its right end, a thin outline, and the flat buttons'
// style. Window thread only.

#include <QString>

class QPushButton;
class QWidget;

namespace peldor {

class TTitleBar;

/// The window flags of a borderless tool dialog that stays on top.
Qt::WindowFlags ToolDialogFlags();

struct TDialogFrame {
    TTitleBar* Title = nullptr;
    /// "btnX".
    QPushButton* X = nullptr;
};

/// Adds the title bar and the "X" button; LayOutDialogFrame places them.
TDialogFrame AddDialogFrame(QWidget& dialog, const QString& caption);
/// Stretches the title bar over the dialog's width with the "X" at its right end.
void LayOutDialogFrame(QWidget& dialog, const TDialogFrame& frame);
/// Buttons, switches, lists and fields of the dialogs in the flat colours.
QString DialogStyleSheet();

} // namespace peldor
