// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <vector>

#include "engine/NameRules.h"

namespace kolvik {

// True when the folder holds installed programs. On Linux: it is on PATH or lies in a system
// folder (below /usr, /bin, /sbin, /lib, /opt or /etc, or the user's ~/.local/bin). On Windows:
// it is on PATH (split on ";"), lies below %ProgramFiles%, %ProgramFiles(x86)%, %ProgramW6432%,
// %SystemRoot% or %LOCALAPPDATA%\Programs, or holds an Uninstall.exe; letter case ignored.
bool HoldsInstalledPrograms(const std::string& folder, const std::vector<std::string>& environment,
                            bool windows = kWindowsNames);

}  // namespace kolvik
