// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl+Z for a program started from a terminal: the request is taken between two files, once
// nothing is in work and no lease is held, so that another program's write need not wait while
// the run is stopped.

namespace kolvik::cli::suspend {

// From here on (until Release) a suspend request is recorded instead of stopping at once.
void Catch();
// Back to the system's own handling, so that Ctrl+Z at a prompt stops at once.
void Release();
// True once a request came since the last Now.
bool Requested();
// Stops the process as the request asked; returns when it is continued.
void Now();

}  // namespace kolvik::cli::suspend
