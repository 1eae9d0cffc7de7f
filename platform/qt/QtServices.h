// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window-system services of the logic, provided by Qt Widgets.
#include <QElapsedTimer>

#include "platform/Services.h"

namespace kolvik::qt {

// Message boxes titled with the program's name; other forms shown modally.
class QtDialogs : public Dialogs {
  public:
    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
    void ShowModal(Form& form) override;
};

class QtScreen : public Screen {
  public:
    // The runs yield very often; within minInterval of the last yield nothing is done,
    // so that a run spends its time on the files and not on repainting.
    explicit QtScreen(int minIntervalMs = 15);
    ~QtScreen() override;
    void Yield() override;
    void SetMousePointer(MousePointer pointer) override;

  private:
    int minIntervalMs_;
    QElapsedTimer sinceYield_;
    bool overridden_ = false;
};

// Caps Lock from the X11 keyboard indicators; false where there is no X11 display.
class X11KeyState : public KeyState {
  public:
    bool CapsLockOn() override;
};

}  // namespace kolvik::qt
