#include "ui/remote_keys.h"

#include "ui/x11_key_grab.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

#include <algorithm>

namespace peldor {
namespace {

bool IsNavigationKey(int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

bool IsEditingKey(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return true;
    default:
        return false;
    }
}

bool IsTextField(const QWidget* widget) {
    if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
        return !line->isReadOnly();
    }
    if (const auto* text = qobject_cast<const QTextEdit*>(widget)) {
        return !text->isReadOnly();
    }
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) {
        return !plain->isReadOnly();
    }
    return false;
}

/// The widget that owns the focused one for key handling: a spin box's or an editable
/// drop-down's line edit counts as the spin box or the drop-down.
const QWidget* KeyOwner(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr && !w->isWindow(); w = w->parentWidget()) {
        if (qobject_cast<const QAbstractSpinBox*>(w) != nullptr ||
            qobject_cast<const QComboBox*>(w) != nullptr) {
            return w;
        }
    }
    return widget;
}

struct TGrabState {
    std::vector<QKeySequence> keys;
    std::vector<QPointer<QWidget>> windows;
};

TGrabState& GrabState() {
    static TGrabState state;
    return state;
}

/// The X11 keysym of a Qt key; 0 for keys that are not grabbed.
std::uint32_t KeysymOf(int key, bool keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return keypad ? 0xFFB0U + static_cast<std::uint32_t>(key - Qt::Key_0)
                      : static_cast<std::uint32_t>(key);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return 0x61U + static_cast<std::uint32_t>(key - Qt::Key_A); // the lower-case keysym
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 0xFFBEU + static_cast<std::uint32_t>(key - Qt::Key_F1);
    }
    switch (key) {
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Backspace:
        return 0xFF08;
    case Qt::Key_Tab:
        return 0xFF09;
    case Qt::Key_Return:
        return 0xFF0D;
    case Qt::Key_Enter:
        return 0xFF8D;
    case Qt::Key_Pause:
        return 0xFF13;
    case Qt::Key_Escape:
        return 0xFF1B;
    case Qt::Key_Home:
        return 0xFF50;
    case Qt::Key_Left:
        return 0xFF51;
    case Qt::Key_Up:
        return 0xFF52;
    case Qt::Key_Right:
        return 0xFF53;
    case Qt::Key_Down:
        return 0xFF54;
    case Qt::Key_PageUp:
        return 0xFF55;
    case Qt::Key_PageDown:
        return 0xFF56;
    case Qt::Key_End:
        return 0xFF57;
    case Qt::Key_Insert:
        return 0xFF63;
    case Qt::Key_Delete:
        return 0xFFFF;
    case Qt::Key_Asterisk:
        return 0xFFAA;
    case Qt::Key_Plus:
        return 0xFFAB;
    case Qt::Key_Minus:
        return 0xFFAD;
    case Qt::Key_Slash:
        return 0xFFAF;
    default:
        return 0;
    }
}

std::vector<TX11Key> X11Keys(const std::vector<QKeySequence>& sequences) {
    std::vector<TX11Key> keys;
    for (const QKeySequence& sequence : sequences) {
        if (sequence.isEmpty()) {
            continue;
        }
        const QKeyCombination combination = sequence[0];
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        TX11Key key;
        key.Keysym = KeysymOf(combination.key(), modifiers.testFlag(Qt::KeypadModifier));
        key.Shift = modifiers.testFlag(Qt::ShiftModifier);
        key.Control = modifiers.testFlag(Qt::ControlModifier);
        key.Alt = modifiers.testFlag(Qt::AltModifier);
        if (key.Keysym != 0) {
            keys.push_back(key);
        }
    }
    return keys;
}

void* X11Display() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? static_cast<void*>(x11->display()) : nullptr;
}

int Grab(QWidget* window, const std::vector<QKeySequence>& keys, bool grab) {
    void* display = X11Display();
    // Only a window that already has its X11 window: asking for one here would create it.
    if (display == nullptr || window == nullptr || keys.empty() || window->internalWinId() == 0) {
        return 0;
    }
    return GrabX11Keys(display, static_cast<unsigned long>(window->internalWinId()), X11Keys(keys),
                       grab);
}

} // namespace

bool FocusWidgetNeedsKey(const QWidget* widget, const QKeyEvent& key) {
    if (QApplication::activePopupWidget() != nullptr) {
        return true; // an open drop-down list or menu takes every key
    }
    if (widget == nullptr) {
        return false;
    }
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    const bool plain = (modifiers & ~Qt::ShiftModifier) == 0;
    if (!plain) {
        return false;
    }
    const int code = key.key();
    const bool typing = !key.text().isEmpty() && key.text().at(0).isPrint();
    const QWidget* owner = KeyOwner(widget);
    if (qobject_cast<const QAbstractSpinBox*>(owner) != nullptr) {
        return typing || IsNavigationKey(code) || IsEditingKey(code);
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(owner)) {
        return IsNavigationKey(code) || (combo->isEditable() && (typing || IsEditingKey(code)));
    }
    if (qobject_cast<const QAbstractItemView*>(owner) != nullptr) {
        return typing || IsNavigationKey(code) || code == Qt::Key_Left || code == Qt::Key_Right;
    }
    if (IsTextField(owner)) {
        if (typing || IsEditingKey(code)) {
            return true;
        }
        // A multi-line text moves its cursor with the arrow keys.
        return IsNavigationKey(code) && qobject_cast<const QLineEdit*>(owner) == nullptr;
    }
    return false;
}

bool TRemoteKeyGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (FocusWidgetNeedsKey(static_cast<QWidget*>(watched), *key)) {
            // Accepted, the key goes to the widget as a key press instead of a shortcut. The
            // widget still sees the override itself (an open drop-down list closes on it).
            event->accept();
            return false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void InstallRemoteKeyGuard() {
    static TRemoteKeyGuard* guard = nullptr;
    if (guard == nullptr && qApp != nullptr) {
        guard = new TRemoteKeyGuard(qApp);
        qApp->installEventFilter(guard);
    }
}

void SetRemoteKeys(const std::vector<QKeySequence>& keys) {
    TGrabState& state = GrabState();
    if (keys == state.keys) {
        return;
    }
    std::erase_if(state.windows, [](const QPointer<QWidget>& w) { return w.isNull(); });
    for (const QPointer<QWidget>& window : state.windows) {
        Grab(window.data(), state.keys, false);
    }
    state.keys = keys;
    for (const QPointer<QWidget>& window : state.windows) {
        Grab(window.data(), state.keys, true);
    }
}

const std::vector<QKeySequence>& RemoteKeys() {
    return GrabState().keys;
}

int GrabRemoteKeys(QWidget* window) {
    TGrabState& state = GrabState();
    if (window == nullptr) {
        return 0;
    }
    std::erase_if(state.windows, [window](const QPointer<QWidget>& w) {
        return w.isNull() || w.data() == window;
    });
    state.windows.emplace_back(window);
    return Grab(window, state.keys, true);
}

void ReleaseRemoteKeys(QWidget* window) {
    TGrabState& state = GrabState();
    const auto before = state.windows.size();
    std::erase_if(state.windows, [window](const QPointer<QWidget>& w) {
        return w.isNull() || w.data() == window;
    });
    if (state.windows.size() != before) {
        Grab(window, state.keys, false);
    }
}

} // namespace peldor
