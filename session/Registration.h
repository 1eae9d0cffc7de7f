// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Joining the program to the shell as a user asks for it: register with or without the file
// association and the context menu, unregister, and the state read back from the store. It
// shows nothing; what failed comes back as a value for each front end to word its own way.
#include <optional>
#include <string>
#include <string_view>

#include "platform/AtomicFile.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik {

// Where the installed copy and its icon go. Windows: SYSTEM32 (SysWOW64 beside it on 64-bit
// Windows); elsewhere ~/.local/bin and the icon theme's folder.
struct InstallPlace {
    bool windows = false;  // Windows folders, file names and "\" in paths
    std::string systemRoot, systemFolder, wow64Folder, iconFolder;
    bool is64Bit = false;
};

// The two options as the store keeps them, "ja" or "nee" (see ParseYesNo).
struct RegistrationOptions {
    std::string kolExtension, contextMenu;
};

struct RegistrationResult {
    FileError programCopy = FileError::None;
    FileError icon = FileError::None;
    bool scriptsWritten = true;
    bool imported = true;  // every script's keys reached the store
    bool stored = true;    // read back, the store holds what was asked
    bool Done() const {
        return programCopy == FileError::None && icon == FileError::None && scriptsWritten &&
               imported && stored;
    }
};

// What the store holds; a value that cannot be read is nullopt.
struct RegistrationState {
    bool kolRegistered = false;  // .kol names this version
    std::optional<std::string> kolExtension, contextMenu, checksum;
};

enum class RegScript { Kol, Kolvik, ContextMenu, BesleutelMap };

// This version's registry name, "kolvik" + major.minor.revision.
std::string CurrentProgId();
RegistrationState ReadRegistrationState(Registry& registry, std::string_view progId);

class Registration {
  public:
    Registration(Registry& registry, const ProcessFacts& process, std::string progId);

    // Fills in the folders from the environment; on Windows what it does not name is kept.
    void FindSystemFolders(InstallPlace& place) const;
    // The folder the scripts' commands name: SysWOW64 only for a 32-bit program on 64-bit
    // Windows whose copy went to SYSTEM32.
    std::string ScriptTargetFolder(const InstallPlace& place) const;
    std::string ScriptFolder() const;  // where the scripts are written before their import
    [[nodiscard]] FileError WriteScript(RegScript script, const InstallPlace& place,
                                        const RegistrationOptions& options) const;

    // Installs the program's copy and icon (place follows them to the program folder when the
    // system folder refuses), imports the scripts the options ask for and, outside Windows,
    // joins the desktop. The store is read back at the end.
    [[nodiscard]] RegistrationResult Register(InstallPlace& place,
                                              const RegistrationOptions& options);
    // Removes every key of ours that holds nothing of anyone else's, and the desktop files;
    // the installed copy stays. True when the store can be read and no longer holds this
    // version's association, PIN code or commands.
    [[nodiscard]] bool Unregister(const InstallPlace& place);

    RegistrationState ReadState() const { return ReadRegistrationState(registry_, progId_); }

  private:
    std::string ScriptPath(RegScript script) const;

    Registry& registry_;
    const ProcessFacts& process_;
    std::string progId_;
};

}  // namespace kolvik
