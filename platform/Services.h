// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the logic asks of the system. Each platform implements these; tests use fakes.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Form.h"

namespace kolvik {

enum class MsgButtons { OK, OKCancel };
enum class MsgIcon { None, Exclamation, Information, Critical };
enum class MsgAnswer { OK, Cancel };

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // A modal message box with the program's name as its title.
    virtual MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) = 0;
    // Shows another window modally and returns when it is unloaded.
    virtual void ShowModal(Form& form) = 0;
};

class Screen {
  public:
    virtual ~Screen() = default;
    // Lets pending window events run; the views mirror every form model first.
    virtual void Yield() = 0;
    virtual void SetMousePointer(MousePointer pointer) = 0;
};

class KeyState {
  public:
    virtual ~KeyState() = default;
    // True when Caps Lock is toggled on and the key is not held down.
    virtual bool CapsLockOn() = 0;
};

// How the user's region writes times, dates and decimals.
class Regional {
  public:
    virtual ~Regional() = default;
    virtual std::string TimeOfDay(WallClock::time_point t) = 0;
    virtual std::string ShortDate(WallClock::time_point t) = 0;
    virtual std::string DecimalSeparator() = 0;
};

// How a started program's main window first shows.
enum class WindowState { Hidden, Normal, MaximizedFocus };

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Opens a document in the desktop's viewer for it, detached; false when that fails.
    virtual bool OpenDocument(const std::string& path) = 0;
    // Starts a command line (the program, then its arguments, as one text) detached; false
    // when the program could not be started.
    virtual bool StartProgram(const std::string& commandLine, WindowState state) = 0;
};

struct ProcessFacts {
    std::string commandLine;               // everything after the program's name, unchanged
    std::string programFolder;             // folder of the running executable, no trailing "/"
    std::string exeName;                   // file name of the running executable, as it stands
    std::string dataFolder;                // where Kolvik.log and the scratch files go
    std::vector<std::string> environment;  // NAME=value entries, in the process's order
    // A 32-bit program on 64-bit Windows: what it asks of SYSTEM32 lands in SysWOW64.
    bool systemFolderRedirected = false;
};

}  // namespace kolvik
