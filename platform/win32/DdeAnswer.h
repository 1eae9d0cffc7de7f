// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shell's DDE conversation of a registered open command (ddeexec): Explorer starts the
// program with the path on its command line, then asks it by DDE for its application and topic
// and sends the (empty) command. A program that never answers makes Explorer report a DDE
// failure after it has started it; so the window answers and acknowledges, and the command
// line stays what carries the path.
#include <windows.h>

#include <string>

namespace kolvik::win32 {

struct DdeName {
    std::wstring application, topic;
};

// Handles the DDE messages a server window receives; true when msg was one of them. One
// conversation only, the one that started the program: when it ends, name is emptied, and a
// later one (the shell asking whether a running Kolvik will open another file) finds no
// answer, so the shell starts Kolvik on that file as the open command says.
bool AnswerDde(HWND server, DdeName& name, UINT msg, WPARAM wParam, LPARAM lParam);

}  // namespace kolvik::win32
