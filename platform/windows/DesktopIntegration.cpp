// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopIntegration.h"

// Windows joins the shell through the registry scripts alone.
namespace kolvik {

void InstallFileAssociation(const DesktopSetup&) {}
void InstallContextMenus(const DesktopSetup&) {}
void RemoveDesktopIntegration(const DesktopSetup&) {}

}  // namespace kolvik
