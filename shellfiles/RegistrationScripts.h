// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The four registry scripts that join the program to the shell, as exact bytes:
// Windows-1252, CR LF after every line, regedit quoting; UTF-16LE with a byte order mark
// where Windows-1252 cannot hold the text.
#include <string>
#include <string_view>

#include "platform/HostFlavor.h"

namespace kolvik {

// What the scripts name: the installed program and its icon.
struct ScriptTarget {
    Flavor flavor = Flavor::Windows;
    std::string folder;      // holds the installed program
    std::string iconFolder;  // holds the icon; Windows keeps it beside the program
};

// Put before the path by Windows's open command of .kol files, which the shell follows with
// its DDE conversation: only a window started with it answers that conversation. The context
// menu starts the same program on a .kol without it.
constexpr std::string_view kOpenCommandMark = "/dde";

// "kolvik" + major + "." + minor + "." + revision.
std::string MakeProgId(std::string_view major, std::string_view minor, std::string_view revision);

// Quoted-value escaping of regedit: "\" doubled; on Linux also "\"" escaped, a character
// that Windows paths cannot hold.
std::string EscapeRegPath(std::string_view path, Flavor flavor);

std::string KolReg(std::string_view progId);
std::string KolvikReg(std::string_view progId, const ScriptTarget& target,
                      std::string_view kolExtension, std::string_view contextMenu);
std::string ContextMenuReg(const ScriptTarget& target);
std::string BesleutelMapReg(const ScriptTarget& target);

}  // namespace kolvik
