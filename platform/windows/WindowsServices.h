// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The services that Windows itself gives, without a window of ours.
#include "platform/Services.h"

namespace kolvik {

// The user's own formats from the regional settings, not the process locale.
class UserRegional : public Regional {
  public:
    std::string TimeOfDay(WallClock::time_point t) override;
    std::string ShortDate(WallClock::time_point t) override;
    std::string DecimalSeparator() override;
};

class ShellLauncher : public Launcher {
  public:
    // The document's associated program (ShellExecuteExW), maximised as the viewers are.
    bool OpenDocument(const std::string& path) override;
    // CreateProcessW with the window state; the program is found as the system finds it.
    bool StartProgram(const std::string& commandLine, WindowState state) override;
};

class WindowsKeyState : public KeyState {
  public:
    bool CapsLockOn() override;
};

// The running program's folder and name, its command line after its own name, and its
// environment; Kolvik.log goes beside the program when the user may write there.
ProcessFacts ReadProcessFacts();

// The arguments of a command line as Command$ gives them: without the program's own name.
std::string ArgumentsOf(const std::wstring& commandLine);

}  // namespace kolvik
