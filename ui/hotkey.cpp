#include "ui/hotkey.h"

namespace peldor {
namespace {

/// Qt's key for a virtual-key code; 0 when there is none.
int QtKeyOf(int code) {
    constexpr int kDigit0 = 0x30, kDigit9 = 0x39, kLetterA = 0x41, kLetterZ = 0x5A;
    constexpr int kNumpad0 = 0x60, kNumpad9 = 0x69, kF1 = 0x70, kF24 = 0x87;
    if (code >= kDigit0 && code <= kDigit9) {
        return Qt::Key_0 + (code - kDigit0);
    }
    if (code >= kLetterA && code <= kLetterZ) {
        return Qt::Key_A + (code - kLetterA);
    }
    if (code >= kNumpad0 && code <= kNumpad9) {
        return Qt::Key_0 + (code - kNumpad0);
    }
    if (code >= kF1 && code <= kF24) {
        return Qt::Key_F1 + (code - kF1);
    }
    switch (code) {
    case 0x08:
        return Qt::Key_Backspace;
    case 0x09:
        return Qt::Key_Tab;
    case 0x0D:
        return Qt::Key_Return;
    case 0x13:
        return Qt::Key_Pause;
    case 0x1B:
        return Qt::Key_Escape;
    case 0x20:
        return Qt::Key_Space;
    case 0x21:
        return Qt::Key_PageUp;
    case 0x22:
        return Qt::Key_PageDown;
    case 0x23:
        return Qt::Key_End;
    case 0x24:
        return Qt::Key_Home;
    case 0x25:
        return Qt::Key_Left;
    case 0x26:
        return Qt::Key_Up;
    case 0x27:
        return Qt::Key_Right;
    case 0x28:
        return Qt::Key_Down;
    case 0x2D:
        return Qt::Key_Insert;
    case 0x2E:
        return Qt::Key_Delete;
    case 0x6A:
        return Qt::Key_Asterisk;
    case 0x6B:
        return Qt::Key_Plus;
    case 0x6D:
        return Qt::Key_Minus;
    case 0x6E:
        return Qt::Key_Period;
    case 0x6F:
        return Qt::Key_Slash;
    case 0xBA:
        return Qt::Key_Semicolon;
    case 0xBB:
        return Qt::Key_Equal;
    case 0xBC:
        return Qt::Key_Comma;
    case 0xBD:
        return Qt::Key_Minus;
    case 0xBE:
        return Qt::Key_Period;
    case 0xBF:
        return Qt::Key_Slash;
    case 0xC0:
        return Qt::Key_QuoteLeft;
    case 0xDB:
        return Qt::Key_BracketLeft;
    case 0xDC:
        return Qt::Key_Backslash;
    case 0xDD:
        return Qt::Key_BracketRight;
    case 0xDE:
        return Qt::Key_Apostrophe;
    default:
        return 0;
    }
}

constexpr int kKeyCodeCount = 256;
constexpr int kKeypadFirst = 0x60, kKeypadLast = 0x6F;

} // namespace

std::uint16_t KeyToHotkey(int key, Qt::KeyboardModifiers modifiers) {
    // Several codes share a Qt key (digits and operators on the keypad and the main block):
    // the keypad modifier says which one was pressed.
    const bool keypad = (modifiers & Qt::KeypadModifier) != 0;
    int code = 0;
    for (int candidate = 1; candidate < kKeyCodeCount; ++candidate) {
        if (QtKeyOf(candidate) != key) {
            continue;
        }
        const bool onKeypad = candidate >= kKeypadFirst && candidate <= kKeypadLast;
        if (code == 0 || onKeypad == keypad) {
            code = candidate;
        }
        if (onKeypad == keypad) {
            break;
        }
    }
    if (code == 0) {
        return 0;
    }
    std::uint16_t hotkey = static_cast<std::uint16_t>(code);
    if ((modifiers & Qt::ShiftModifier) != 0) {
        hotkey |= kHotkeyShift;
    }
    if ((modifiers & Qt::ControlModifier) != 0) {
        hotkey |= kHotkeyCtrl;
    }
    if ((modifiers & Qt::AltModifier) != 0) {
        hotkey |= kHotkeyAlt;
    }
    return hotkey;
}

QKeySequence HotkeyToKeySequence(std::uint16_t hotkey) {
    constexpr std::uint16_t kKeyCodeMask = 0xFF;
    const int key = QtKeyOf(hotkey & kKeyCodeMask);
    if (key == 0) {
        return {};
    }
    int modifiers = 0;
    if ((hotkey & kHotkeyShift) != 0) {
        modifiers |= Qt::SHIFT;
    }
    if ((hotkey & kHotkeyCtrl) != 0) {
        modifiers |= Qt::CTRL;
    }
    if ((hotkey & kHotkeyAlt) != 0) {
        modifiers |= Qt::ALT;
    }
    return QKeySequence(key | modifiers);
}

} // namespace peldor
