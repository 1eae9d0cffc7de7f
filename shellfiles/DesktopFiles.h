// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts that join the program to Linux desktops: the desktop entry, the MIME type, the
// file-manager actions, and the edits of the user's own mimeapps.list and Thunar actions.
// Text in, text out; the installer decides where each one goes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DesktopIntegration.h"

namespace kolvik {

// Every file we write whole carries this line (as a key or a comment): removal deletes
// no file without it.
inline constexpr std::string_view kDesktopOwnerMark = "X-Kolvik-Geinstalleerd=true";
inline constexpr std::string_view kKolvikMimeType = "application/x-kolvik";
inline constexpr std::string_view kDesktopEntryName = "kolvik.desktop";
inline constexpr std::string_view kContextMenuText = "Besleutel met Kolvik";
inline constexpr std::string_view kContextMenuTip =
    "Versleutel of ontsleutel dit bestand of deze map met Kolvik";
// The icon theme's sizes; the largest is the one REG_Create itself installs.
inline constexpr int kIconThemeSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The user's base folders from NAME=value entries, read up to the first empty entry, as
// FindSystemFolders reads them. A relative XDG folder is ignored, as the base-directory
// rules say, and the default under HOME takes its place.
UserFolders UserFoldersFrom(const std::vector<std::string>& environment);

// The icon as desktop files name it: the theme name when the icon lies in the user's
// hicolor theme, otherwise the path of the file itself.
std::string DesktopIconFor(const UserFolders& folders, std::string_view iconFolder);

// The program as the first word of a desktop entry's Exec key: quoted when it holds a
// reserved character, "%" doubled, then escaped for the key-file format.
std::string DesktopExecProgram(std::string_view program);
// One word for a POSIX shell: between single quotes, each ' written as '\''.
std::string ShellQuote(std::string_view text);

// program: a bare command name or the absolute path of the installed copy.
std::string DesktopEntry(std::string_view program, std::string_view icon);
std::string MimeDefinition();
std::string NautilusScript(std::string_view program);
std::string DolphinServiceMenu(std::string_view program, std::string_view icon);
std::string NemoAction(std::string_view program, std::string_view icon);

// Thunar's uca.xml with our action in it, an earlier copy of ours replaced. An empty text
// starts a new file; nullopt when the text is no actions list that we can safely extend.
std::optional<std::string> MergeThunarAction(std::string_view ucaXml, std::string_view program,
                                             std::string_view icon);
// Our action taken out, everything else byte for byte. Empty when what remains is the
// empty list that MergeThunarAction started: the file was ours alone.
std::string UnmergeThunarAction(std::string_view ucaXml);

// mimeapps.list with Kolvik as the default for our MIME type; every other line stays.
std::string SetDefaultApplication(std::string_view mimeappsList);
// Our default taken out again, and the section header too when SetDefaultApplication
// added it and nothing else came into it. Empty when nothing else remains.
std::string UnsetDefaultApplication(std::string_view mimeappsList);

}  // namespace kolvik
