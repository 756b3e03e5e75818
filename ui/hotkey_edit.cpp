#include "ui/hotkey_edit.h"

#include "ui/hotkey.h"

#include <QKeyEvent>

namespace peldor {

THotkeyEdit::THotkeyEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    // Read-only fields hide their cursor; this one is edited by typing keys, so it shows focus.
    setFocusPolicy(Qt::StrongFocus);
    ShowHotkey();
}

void THotkeyEdit::SetHotKey(int value) {
    hotkey = static_cast<std::uint16_t>(value);
    ShowHotkey();
}

void THotkeyEdit::ShowHotkey() {
    const QKeySequence keys = HotkeyToKeySequence(hotkey);
    setText(keys.isEmpty() ? QStringLiteral("None") : keys.toString(QKeySequence::NativeText));
}

bool THotkeyEdit::event(QEvent* e) {
    // Shortcuts of the main window must not fire while a key is being recorded here.
    if (e->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(e);
        const bool plainTab = (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
                              (key->modifiers() & ~Qt::ShiftModifier) == 0;
        if (!plainTab) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void THotkeyEdit::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const Qt::KeyboardModifiers modifiers = e->modifiers();
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && (modifiers & ~Qt::ShiftModifier) == 0) {
        QLineEdit::keyPressEvent(e);
        return;
    }
    e->accept();
    std::uint16_t recorded = hotkey;
    if ((key == Qt::Key_Backspace || key == Qt::Key_Delete) && modifiers == Qt::NoModifier) {
        recorded = 0;
    } else if (const std::uint16_t pressed = KeyToHotkey(key, modifiers); pressed != 0) {
        recorded = pressed;
    } else {
        return; // a modifier on its own, or a key without a code: wait for the real key
    }
    if (recorded != hotkey) {
        hotkey = recorded;
        ShowHotkey();
        emit Changed();
    }
}

} // namespace peldor
