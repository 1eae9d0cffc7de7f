// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A user's own Thunar action, which our merge and removal must leave exactly as it was.

namespace kolvik::test {

inline constexpr const char* kUserActions =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n"
    "\t<icon>utilities-terminal</icon>\n\t<name>Terminal hier</name>\n"
    "\t<unique-id>1600000000000000-1</unique-id>\n"
    "\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>\n"
    "\t<patterns>*</patterns>\n\t<directories/>\n</action>\n</actions>\n";

}  // namespace kolvik::test
