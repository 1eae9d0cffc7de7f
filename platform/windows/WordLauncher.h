// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Word documents open in Word itself, through its automation interface: Word comes up
// visible with the document opened, and stays when Kolvik ends.
#include <string>

#include "platform/windows/WindowsServices.h"

namespace kolvik {

class WordLauncher : public ShellLauncher {
  public:
    // A path whose last three characters are "doc" (any case) goes to Word; anything else,
    // and a document where Word is missing or refuses it, to the file's associated program.
    bool OpenDocument(const std::string& path) override;
};

// "Word.Application": Visible = True, then Documents.Open FileName:=path. False when Word is
// not installed or any step fails. COM must be initialised on this thread.
bool OpenInWord(const std::wstring& path);

}  // namespace kolvik
