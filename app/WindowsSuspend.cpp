// SPDX-License-Identifier: GPL-3.0-or-later
// A Windows console has no job control: nothing asks a run to suspend.
#include "app/Suspend.h"

namespace kolvik::cli::suspend {

void Catch() {}
void Release() {}
bool Requested() { return false; }
void Now() {}

}  // namespace kolvik::cli::suspend
