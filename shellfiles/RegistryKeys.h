// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The keys of the shell integration under HKEY_CLASSES_ROOT, and the yes/no options kept
// there: what the scripts create, what the state is read from and what removal takes out.
#include <string>
#include <string_view>
#include <vector>

namespace kolvik {

// Key paths without a trailing "\"; a registry name for a key's default value adds one.
struct RegistryKeys {
    explicit RegistryKeys(std::string_view progId);

    std::string kol;  // HKEY_CLASSES_ROOT\.kol, whose default value names the ProgID
    std::string progId, checksum, defaultIcon, options;
    std::string shell, open, command, ddeexec, ddeApplication, ddeTopic;
    std::string fileMenu, fileMenuCommand;      // "Besleutel met Kolvik" on every file
    std::string folderMenu, folderMenuCommand;  // the same on folders

    // Every key of ours, each child before its parent: a key with subkeys is not removed.
    std::vector<std::string> RemovalOrder() const;
};

// Value names under RegistryKeys::options.
inline constexpr std::string_view kAssociateOption = "associatewithkol";
inline constexpr std::string_view kContextMenuOption = "addtocontext";

// The registry name of a key's default value, and of a named value.
inline std::string DefaultValueName(std::string_view key) { return std::string(key) + "\\"; }
inline std::string ValueName(std::string_view key, std::string_view name) {
    return std::string(key) + "\\" + std::string(name);
}

// The options are stored as the texts "ja" and "nee", compared exactly: a hand-edited "JA" is
// neither, and is written back as it was found.
enum class YesNo { Yes, No, Neither };
inline YesNo ParseYesNo(std::string_view stored) {
    return stored == "ja" ? YesNo::Yes : stored == "nee" ? YesNo::No : YesNo::Neither;
}
inline std::string YesNoText(bool yes) { return yes ? "ja" : "nee"; }

}  // namespace kolvik
