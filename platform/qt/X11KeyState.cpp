// SPDX-License-Identifier: GPL-3.0-or-later
// clang-format off
#include "platform/qt/QtServices.h"

#include <QGuiApplication>

// Last: the X11 headers define macros (None, Screen, Bool) that clash with ours and Qt's.
#include <X11/XKBlib.h>
#include <X11/keysym.h>
// clang-format on

namespace kolvik::qt {

bool X11KeyState::CapsLockOn() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return false;
    unsigned int indicators = 0;
    if (XkbGetIndicatorState(display, XkbUseCoreKbd, &indicators) != Success) return false;
    if (!(indicators & 1u)) return false;
    // Toggled on, but the notice waits while the key is still held down.
    char keys[32] = {};
    XQueryKeymap(display, keys);
    const KeyCode caps = XKeysymToKeycode(display, XK_Caps_Lock);
    return caps == 0 || !(keys[caps / 8] & (1 << (caps % 8)));
}

}  // namespace kolvik::qt
