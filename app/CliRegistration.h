// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvik-cli register and unregister: the session's registration, as the window's key
// commands and help window run it, with what was not done on standard error.
#include "app/CliTerminal.h"
#include "app/Console.h"

namespace kolvik::cli {

// The exit status: 0 when everything asked for was done (the program's copy and icon
// installed, every script imported, the store read back as asked), 1 otherwise.
int Register(console::Host& host, ErrorLines& errors, bool contextMenu);
int Unregister(console::Host& host, ErrorLines& errors);

}  // namespace kolvik::cli
