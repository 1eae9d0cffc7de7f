// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Keyboard.h"

// clang-format off
#include <QGuiApplication>
// Last: the X11 headers define macros (Status, Bool) that break Qt's headers.
#include <X11/XKBlib.h>
// clang-format on

namespace kolvik::test {

bool LockCapsLock(bool on) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return false;
    if (!XkbLockModifiers(display, XkbUseCoreKbd, LockMask, on ? LockMask : 0)) return false;
    XSync(display, False);
    return true;
}

}  // namespace kolvik::test
