#pragma once
// The performer's remote keys (next/previous part and song, all notes off) work in every window
// of the program, not only the main window:
// - TRemoteKeyGuard, installed once on the application, hands a key back to the focused widget
//   when that widget needs it (typing into a text field, arrow keys in a list, a spin box or a
//   drop-down, any key in an open pop-up), so that an application-wide shortcut never steals it.
// - Under X11 a plugin's own editor is a native window of another connection: its keys never
//   reach Qt. GrabRemoteKeys makes the X server hand the remote keys pressed inside a window
//   (and every window in it) to that window instead, while it has the keyboard focus, so the
//   shortcuts fire there too. Other programs' windows are not affected.
//
// Window thread only.

#include <QKeySequence>
#include <QObject>
#include <QWidget>

#include <vector>

class QKeyEvent;

namespace peldor {

/// True when widget uses the key itself (text input, list and spin box navigation, open pop-ups).
bool FocusWidgetNeedsKey(const QWidget* widget, const QKeyEvent& key);

class TRemoteKeyGuard final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

/// Installs the guard on the application (once; later calls do nothing).
void InstallRemoteKeyGuard();

/// The keys to grab in the windows given to GrabRemoteKeys; the grabs follow at once.
void SetRemoteKeys(const std::vector<QKeySequence>& keys);
const std::vector<QKeySequence>& RemoteKeys();

/// Grabs the remote keys for window (a top-level window) while it exists, under X11 only;
/// ReleaseRemoteKeys before it goes. Returns the number of keys grabbed (0 elsewhere).
int GrabRemoteKeys(QWidget* window);
void ReleaseRemoteKeys(QWidget* window);

} // namespace peldor
