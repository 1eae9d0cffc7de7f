// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Word documents open in Word itself, through its automation interface: Word comes up
// visible with the document opened, and stays when Kolvik ends.
#include <string>

#include "platform/windows/WindowsServices.h"

namespace kolvik {

class WordLauncher : public ShellLauncher {
  public:
    using ShellLauncher::ShellLauncher;

  protected:
    bool OpenInWord(const std::string& path) override;
};

// "Word.Application": Visible = True, then Documents.Open FileName:=path. False when Word is
// not installed or any step fails. COM must be initialised on this thread.
bool OpenWithWordAutomation(const std::wstring& path);

}  // namespace kolvik
