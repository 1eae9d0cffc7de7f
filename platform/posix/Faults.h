// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an errno means to the file layer, for each of its parts alike.
#include <cerrno>

#include "platform/SafeFile.h"

namespace kolvik::safefile {

[[nodiscard]] Fault FromErrno(int e);
[[nodiscard]] inline Fault LastFault() { return FromErrno(errno); }

}  // namespace kolvik::safefile
