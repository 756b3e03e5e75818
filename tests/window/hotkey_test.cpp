// Hotkeys from the project options as Qt key sequences.

#include "ui/hotkey.h"

#include <gtest/gtest.h>

namespace peldor::test {
namespace {

TEST(Hotkey, KeysAndModifiersBecomeKeySequences) {
    EXPECT_TRUE(HotkeyToKeySequence(0).isEmpty());
    // Key codes without a Qt key give no shortcut rather than a wrong one.
    EXPECT_TRUE(HotkeyToKeySequence(0x07).isEmpty());
    EXPECT_TRUE(HotkeyToKeySequence(kHotkeyCtrl).isEmpty());

    EXPECT_EQ(HotkeyToKeySequence(40), QKeySequence(Qt::Key_Down));
    EXPECT_EQ(HotkeyToKeySequence(33), QKeySequence(Qt::Key_PageUp));
    EXPECT_EQ(HotkeyToKeySequence(27), QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(HotkeyToKeySequence(0x41 | kHotkeyCtrl), QKeySequence("Ctrl+A"));
    EXPECT_EQ(HotkeyToKeySequence(0x39 | kHotkeyShift | kHotkeyAlt), QKeySequence("Shift+Alt+9"));
    EXPECT_EQ(HotkeyToKeySequence(0x74 | kHotkeyCtrl | kHotkeyShift),
              QKeySequence("Ctrl+Shift+F5"));
    EXPECT_EQ(HotkeyToKeySequence(0x87), QKeySequence(Qt::Key_F24));
    // Only the low byte is the key: bits between it and the modifiers are ignored.
    EXPECT_EQ(HotkeyToKeySequence(0x0100 | 0x20), QKeySequence(Qt::Key_Space));
}

TEST(Hotkey, PressedKeysBecomeHotkeysThatGiveTheSameShortcut) {
    EXPECT_EQ(KeyToHotkey(Qt::Key_Down, Qt::NoModifier), 40);
    EXPECT_EQ(KeyToHotkey(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier),
              0x4E | kHotkeyCtrl | kHotkeyShift);
    EXPECT_EQ(KeyToHotkey(Qt::Key_F5, Qt::AltModifier), 0x74 | kHotkeyAlt);
    // A digit or an operator: the main block's code, or the keypad's when it came from there.
    EXPECT_EQ(KeyToHotkey(Qt::Key_5, Qt::NoModifier), 0x35);
    EXPECT_EQ(KeyToHotkey(Qt::Key_5, Qt::KeypadModifier), 0x65);
    EXPECT_EQ(KeyToHotkey(Qt::Key_Minus, Qt::NoModifier), 0xBD);
    EXPECT_EQ(KeyToHotkey(Qt::Key_Minus, Qt::KeypadModifier), 0x6D);
    // Modifiers alone and keys without a code record nothing.
    EXPECT_EQ(KeyToHotkey(Qt::Key_Shift, Qt::ShiftModifier), 0);
    EXPECT_EQ(KeyToHotkey(Qt::Key_VolumeUp, Qt::NoModifier), 0);
    for (const std::uint16_t hotkey : {std::uint16_t{40}, std::uint16_t{0x41 | kHotkeyCtrl},
                                       std::uint16_t{0x87 | kHotkeyShift | kHotkeyAlt}}) {
        const QKeyCombination keys = HotkeyToKeySequence(hotkey)[0];
        EXPECT_EQ(KeyToHotkey(keys.key(), keys.keyboardModifiers()), hotkey);
    }
}

} // namespace
} // namespace peldor::test
