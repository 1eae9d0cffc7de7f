// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What kolvik-cli needs of its console that differs between systems: its arguments as UTF-8,
// the stop request (Ctrl+C, SIGINT, SIGTERM), password prompts without echo, the password
// source, and whether standard error is a terminal.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/PasswordLine.h"
#include "platform/Registry.h"
#include "platform/Services.h"

namespace kolvik::cli::console {

// Sets up standard output and error for Unicode text and returns the arguments as UTF-8,
// without the program's own name.
std::vector<std::string> Start(int argc, char** argv);

// From here on a stop request is recorded, not fatal; it also ends a password read.
void CatchStopRequests();
// The signal number that asked to stop (SIGINT, SIGTERM), 0 while none came.
int StopSignal();

bool InputIsTerminal();
bool ErrorIsTerminal();
// The prompt on standard error, then a line from the terminal without echo into line (no
// other copy of it is left); false at the input's end.
bool PromptHidden(const char* prompt, std::string& line);

// The first line of standard input, or of the file; an unopenable file gives `openError`.
PasswordLine ReadPasswordFromInput();
PasswordLine ReadPasswordFromFile(const std::string& path, const std::string& openError);

// The system's own services for a run without a window. `notice` shows what the registry
// has to say about itself.
struct Host {
    std::unique_ptr<Clock> clock;
    std::unique_ptr<Regional> regional;
    std::unique_ptr<Registry> registry;
    ProcessFacts facts;
};
Host OpenHost(int argc, char** argv, const std::function<void(const std::string&)>& notice);

}  // namespace kolvik::cli::console
