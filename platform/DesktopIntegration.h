// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Joins the program to the user's desktop beside the registry entries: the file type with
// its default application, and the file managers' context menus. Every failure is silent,
// as the registry's are.
#include <string>
#include <vector>

namespace kolvik {

// The user's home and XDG base folders.
struct UserFolders {
    std::string home, dataHome, configHome;
};

struct DesktopSetup {
    UserFolders folders;
    std::string program;                   // the installed copy that the entries start
    std::string icon;                      // a theme name or a file, see DesktopIconFor
    std::vector<std::string> environment;  // NAME=value, for the database tools
};

// The desktop entry, the MIME type, the icon sizes and the default application.
void InstallFileAssociation(const DesktopSetup& setup);
// "Besleutel met Kolvik" in Nautilus, Dolphin, Nemo and Thunar.
void InstallContextMenus(const DesktopSetup& setup);
// Takes out what the two installers put in, and nothing else.
void RemoveDesktopIntegration(const DesktopSetup& setup);

}  // namespace kolvik
