// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window-system services of the logic on Windows: message boxes, modal windows, the
// yield through the message loop, the mouse pointer and the Caps Lock key.
#include <windows.h>

#include <chrono>

// winbase.h still defines the 16-bit Yield() as a macro, which would hide Screen::Yield.
#undef Yield

#include "platform/Services.h"

namespace kolvik::win32 {

// Message boxes titled with the program's name; other forms shown modally over the window
// that opened them.
class Win32Dialogs : public Dialogs {
  public:
    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    void ShowModal(Form& form) override;
};

class Win32Screen : public Screen {
  public:
    // The runs yield very often; within minInterval of the last yield nothing is done,
    // so that a run spends its time on the files and not on repainting.
    explicit Win32Screen(std::chrono::milliseconds minInterval = std::chrono::milliseconds(15));
    void Yield() override;
    void SetMousePointer(MousePointer pointer) override;

  private:
    std::chrono::milliseconds minInterval_;
    std::chrono::steady_clock::time_point lastYield_{};
};

// GetKeyState of Caps Lock: on when it is toggled on and not held down.
class Win32KeyState : public KeyState {
  public:
    bool CapsLockOn() override;
};

}  // namespace kolvik::win32
