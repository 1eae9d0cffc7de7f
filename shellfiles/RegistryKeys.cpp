// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfiles/RegistryKeys.h"

namespace kolvik {

RegistryKeys::RegistryKeys(std::string_view id)
    : kol("HKEY_CLASSES_ROOT\\.kol"),
      progId("HKEY_CLASSES_ROOT\\" + std::string(id)),
      checksum(progId + "\\Checksum"),
      defaultIcon(progId + "\\DefaultIcon"),
      options(progId + "\\Options"),
      shell(progId + "\\shell"),
      open(shell + "\\Open"),
      command(open + "\\command"),
      ddeexec(open + "\\ddeexec"),
      ddeApplication(ddeexec + "\\Application"),
      ddeTopic(ddeexec + "\\Topic"),
      fileMenu("HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik"),
      fileMenuCommand(fileMenu + "\\command"),
      folderMenu("HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel"),
      folderMenuCommand(folderMenu + "\\command") {}

std::vector<std::string> RegistryKeys::RemovalOrder() const {
    return {kol,      checksum,          defaultIcon, options, command, ddeApplication,
            ddeTopic, ddeexec,           open,        shell,   progId,  fileMenuCommand,
            fileMenu, folderMenuCommand, folderMenu};
}

}  // namespace kolvik
