// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtServices.h"

namespace kolvik::qt {

// Built without X11: the notice stays hidden.
bool X11KeyState::CapsLockOn() { return false; }

}  // namespace kolvik::qt
