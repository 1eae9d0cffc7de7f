// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real registry, reached as WScript.Shell reaches it; scripts go through regedit.
#include "platform/Registry.h"

namespace kolvik {

class WindowsRegistry : public Registry {
  public:
    std::optional<std::string> RegRead(const std::string& name) override;
    bool RegWrite(const std::string& name, const std::string& value) override;
    bool RegDelete(const std::string& name) override;
    // Runs "regedit.exe /s" hidden and waits for it, so the script may be deleted after.
    bool Import(const std::string& scriptPath) override;
};

}  // namespace kolvik
