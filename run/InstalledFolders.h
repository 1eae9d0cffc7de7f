// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>
#include <vector>

namespace kolvik {

// True when the folder holds installed programs: it is on PATH or lies in a system folder
// (below /usr, /bin, /sbin, /lib, /opt or /etc, or the user's ~/.local/bin).
bool HoldsInstalledPrograms(const std::string& folder, const std::vector<std::string>& environment);

}  // namespace kolvik
