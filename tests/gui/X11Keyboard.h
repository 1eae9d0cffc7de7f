// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace kolvik::test {

// Locks or unlocks Caps Lock on the application's X11 display; false without one.
bool LockCapsLock(bool on);

}  // namespace kolvik::test
