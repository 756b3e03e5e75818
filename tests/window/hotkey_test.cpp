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

} // namespace
} // namespace peldor::test
