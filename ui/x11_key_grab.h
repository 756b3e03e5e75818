#pragma once
// Passive key grabs on an X11 window, apart from Qt (the X11 headers' macros clash with Qt's
// names). Window thread only.

#include <cstdint>
#include <vector>

namespace peldor {

/// A key as the X server knows it: a keysym and the modifier bits Shift, Control and Alt.
struct TX11Key {
    std::uint32_t Keysym = 0;
    bool Shift = false, Control = false, Alt = false;
};

/// Grabs (grab true) or releases each key on window of display (an Xlib Display*), with and
/// without Caps Lock and Num Lock, so the key reaches window's connection whenever window or a
/// window inside it has the keyboard focus. Returns the number of keys the keyboard has.
int GrabX11Keys(void* display, unsigned long window, const std::vector<TX11Key>& keys, bool grab);

} // namespace peldor
