#include "ui/x11_key_grab.h"

#include <X11/Xlib.h>

namespace peldor {

int GrabX11Keys(void* display, unsigned long window, const std::vector<TX11Key>& keys, bool grab) {
    auto* x = static_cast<Display*>(display);
    if (x == nullptr || window == 0) {
        return 0;
    }
    // Num Lock is Mod2 on every common keyboard map; Caps Lock is Lock.
    constexpr unsigned int kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    int grabbed = 0;
    for (const TX11Key& key : keys) {
        const KeyCode code = XKeysymToKeycode(x, key.Keysym);
        if (code == 0) {
            continue;
        }
        const unsigned int modifiers = (key.Shift ? ShiftMask : 0U) |
                                       (key.Control ? ControlMask : 0U) | (key.Alt ? Mod1Mask : 0U);
        for (const unsigned int lock : kLockVariants) {
            if (grab) {
                // Not owner_events: a key meant for a plugin's window (another connection)
                // is reported to this window.
                XGrabKey(x, code, modifiers | lock, window, False, GrabModeAsync, GrabModeAsync);
            } else {
                XUngrabKey(x, code, modifiers | lock, window);
            }
        }
        ++grabbed;
    }
    XFlush(x);
    return grabbed;
}

} // namespace peldor
