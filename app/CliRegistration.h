// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvik-cli register and unregister: the registration procedures that the window's key
// commands and help window run, with their messages on standard error.
#include "app/CliTerminal.h"
#include "app/Console.h"

namespace kolvik::cli {

// The exit status: 0 when the store shows the registration as asked, 1 otherwise.
int Register(console::Host& host, ErrorLines& errors, bool contextMenu);
int Unregister(console::Host& host, ErrorLines& errors);

}  // namespace kolvik::cli
