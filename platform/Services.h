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

// The kinds of decrypted file that are shown to the user after a single-file run.
enum class ViewKind { Text, Document, Pdf };

class Launcher {
  public:
    virtual ~Launcher() = default;
    // Shows the file, detached, in the system's viewer for its kind. The user sees nothing
    // when no viewer starts: the decryption itself has succeeded either way.
    virtual void OpenForViewing(ViewKind kind, const std::string& path) = 0;
};

struct ProcessFacts {
    std::string commandLine;               // everything after the program's name, unchanged
    std::string programFolder;             // folder of the running executable, no trailing "/"
    std::string exeName;                   // file name of the running executable, as it stands
    std::string dataFolder;                // where Kolvik.log and the scratch files go
    std::vector<std::string> environment;  // NAME=value entries, in the process's order
    // A 32-bit program on 64-bit Windows: what it asks of SYSTEM32 lands in SysWOW64.
    bool systemFolderRedirected = false;
    // A path was given, even an empty one: that is no request for the program's own folder.
    bool argumentGiven = false;
};

}  // namespace kolvik
