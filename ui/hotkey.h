#pragma once
// The options keep keyboard shortcuts as 16-bit hotkeys: a virtual-key code in the low byte
// and the modifier bits 0x2000 Shift, 0x4000 Ctrl and 0x8000 Alt above it. The windows turn
// them into Qt key sequences.

#include <QKeySequence>

#include <cstdint>

namespace peldor {

inline constexpr std::uint16_t kHotkeyShift = 0x2000;
inline constexpr std::uint16_t kHotkeyCtrl = 0x4000;
inline constexpr std::uint16_t kHotkeyAlt = 0x8000;

/// The key sequence of a hotkey; empty for 0 and for key codes without a Qt key.
QKeySequence HotkeyToKeySequence(std::uint16_t hotkey);

/// The hotkey of a pressed key with its modifiers; 0 for a key without a virtual-key code
/// (a modifier alone, media keys). Keypad digits and operators get the keypad's codes.
std::uint16_t KeyToHotkey(int key, Qt::KeyboardModifiers modifiers);

} // namespace peldor
