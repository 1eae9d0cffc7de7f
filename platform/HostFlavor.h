// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which system the program was built for: Windows folders, file names and "\" in paths, or
// their Linux equivalents. Each platform implementation defines HostFlavor.
namespace kolvik {

enum class Flavor { Windows, Linux };

Flavor HostFlavor();

}  // namespace kolvik
