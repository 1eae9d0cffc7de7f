// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/Registration.h"

#include <filesystem>

#include "Version.h"
#include "engine/PathHelpers.h"
#include "platform/DesktopIntegration.h"
#include "platform/HostFlavor.h"
#include "shellfiles/DesktopFiles.h"
#include "shellfiles/KolvikIcon.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {
namespace {

// Files are reached the host's way, whichever system the names and scripts are for.
std::string FilePath(const std::string& folder, const std::string& name) {
    return HostFlavor() == Flavor::Windows ? FixRootPath(folder + "\\" + name)
                                           : JoinPath(folder, name);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

ScriptTarget TargetOf(const InstallPlace& place, const std::string& folder) {
    return {place.windows ? Flavor::Windows : Flavor::Linux, folder,
            place.windows ? folder : place.iconFolder};
}

// The desktop files name the installed copy, and the icon where Register put it.
DesktopSetup DesktopSetupOf(const InstallPlace& place, const ProcessFacts& process) {
    const UserFolders folders = UserFoldersFrom(process.environment);
    return {folders, JoinPath(place.systemFolder, "kolvik"),
            DesktopIconFor(folders, place.iconFolder), process.environment};
}

void RemoveFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(std::u8string(path.begin(), path.end())),
                            ignored);
}

}  // namespace

std::string CurrentProgId() {
    return MakeProgId(KOLVIK_VERSION_MAJOR, KOLVIK_VERSION_MINOR, KOLVIK_VERSION_REVISION);
}

RegistrationState ReadRegistrationState(Registry& registry, std::string_view progId) {
    const RegistryKeys keys(progId);
    RegistrationState state;
    state.kolExtension = registry.RegRead(ValueName(keys.options, kAssociateOption));
    state.contextMenu = registry.RegRead(ValueName(keys.options, kContextMenuOption));
    state.checksum = registry.RegRead(DefaultValueName(keys.checksum));
    state.kolRegistered = registry.RegRead(DefaultValueName(keys.kol)).value_or("") == progId;
    return state;
}

Registration::Registration(Registry& registry, const ProcessFacts& process, std::string progId)
    : registry_(registry), process_(process), progId_(std::move(progId)) {}

void Registration::FindSystemFolders(InstallPlace& place) const {
    const auto& environment = process_.environment;
    if (place.windows) {
        for (const std::string& entry : environment) {
            if (entry.empty()) break;
            if (StartsWith(entry, "SystemRoot=")) {
                place.systemRoot = entry.substr(11);
                place.systemFolder = place.systemRoot + "\\SYSTEM32";
            }
            if (StartsWith(entry, "PROCESSOR_IDENTIFIER=Intel64")) place.is64Bit = true;
        }
        if (place.is64Bit) place.wow64Folder = place.systemRoot + "\\SysWOW64";
        place.iconFolder = place.systemFolder;
        return;
    }
    const UserFolders folders = UserFoldersFrom(environment);
    place.systemFolder = folders.home + "/.local/bin";
    place.iconFolder = folders.dataHome + "/icons/hicolor/256x256/apps";
    place.is64Bit = false;
}

std::string Registration::ScriptTargetFolder(const InstallPlace& place) const {
    const bool redirected = place.is64Bit && process_.systemFolderRedirected &&
                            place.systemFolder != process_.programFolder;
    return redirected ? place.wow64Folder : place.systemFolder;
}

std::string Registration::ScriptFolder() const {
    return process_.dataFolder.empty() ? process_.programFolder : process_.dataFolder;
}

std::string Registration::ScriptPath(RegScript script) const {
    static constexpr const char* kNames[] = {"Kol.reg", "kolvik.reg", "ContextMenu.reg",
                                             "BesleutelMap.reg"};
    return FilePath(ScriptFolder(), kNames[static_cast<int>(script)]);
}

FileError Registration::WriteScript(RegScript script, const InstallPlace& place,
                                    const RegistrationOptions& options) const {
    const ScriptTarget target = TargetOf(place, ScriptTargetFolder(place));
    std::string bytes;
    switch (script) {
        case RegScript::Kol:
            bytes = KolReg(progId_);
            break;
        case RegScript::Kolvik:
            bytes = KolvikReg(progId_, target, options.kolExtension, options.contextMenu);
            break;
        case RegScript::ContextMenu:
            bytes = ContextMenuReg(target);
            break;
        case RegScript::BesleutelMap:
            bytes = BesleutelMapReg(target);
            break;
    }
    return AtomicWrite(ScriptPath(script), bytes, FileUse::Data);
}

RegistrationResult Registration::Register(InstallPlace& place, const RegistrationOptions& options) {
    RegistrationResult result;
    const bool windows = place.windows;
    const std::string& program = process_.programFolder;
    const std::string exeName = windows ? "Kolvik.exe" : "kolvik";
    const std::string iconName = windows ? "Kolvik.ico" : "kolvik.png";
    const std::string icon = windows ? KolvikIconIco() : KolvikIconPng();
    if (windows) place.iconFolder = place.systemFolder;

    result.programCopy = AtomicCopy(FilePath(program, exeName),
                                    FilePath(place.systemFolder, exeName), FileUse::Program);
    result.icon = AtomicWrite(FilePath(place.iconFolder, iconName), icon, FileUse::Data);
    // The procedures look at the last failure only: a refused icon after a copied program
    // still moves both to the program folder, where the program already stands.
    const FileError last = result.icon != FileError::None ? result.icon : result.programCopy;
    if (last == FileError::Denied) {
        result.icon = AtomicWrite(FilePath(program, iconName), icon, FileUse::Data);
        result.programCopy = FileError::None;
        place.systemFolder = program;
        place.iconFolder = program;
    }

    const auto importScripts = [&](RegScript first, RegScript second) {
        for (const RegScript script : {first, second}) {
            if (WriteScript(script, place, options) != FileError::None)
                result.scriptsWritten = false;
        }
        for (const RegScript script : {first, second}) {
            if (!registry_.Import(ScriptPath(script))) result.imported = false;
            RemoveFile(ScriptPath(script));
        }
    };
    const bool association = ParseYesNo(options.kolExtension) == YesNo::Yes;
    const bool contextMenu = ParseYesNo(options.contextMenu) == YesNo::Yes;
    if (association) importScripts(RegScript::Kol, RegScript::Kolvik);
    if (contextMenu) importScripts(RegScript::ContextMenu, RegScript::BesleutelMap);
    if (!windows) {
        const DesktopSetup setup = DesktopSetupOf(place, process_);
        if (association) InstallFileAssociation(setup);
        if (contextMenu) InstallContextMenus(setup);
    }

    const RegistrationState state = ReadState();
    const bool menuStored =
        registry_.RegRead(DefaultValueName(RegistryKeys(progId_).fileMenuCommand)).has_value();
    result.stored = (!association || state.kolRegistered) && (!contextMenu || menuStored);
    return result;
}

bool Registration::Unregister(const InstallPlace& place) {
    if (!registry_.Readable()) return false;
    const RegistryKeys keys(progId_);
    for (const auto& key : keys.RemovalOrder()) registry_.RegDelete(DefaultValueName(key));
    if (!place.windows) RemoveDesktopIntegration(DesktopSetupOf(place, process_));
    // The keys whose values do the work: a store that took no deletion still holds them.
    for (const std::string* key :
         {&keys.checksum, &keys.command, &keys.fileMenuCommand, &keys.folderMenuCommand}) {
        if (registry_.RegRead(DefaultValueName(*key))) return false;
    }
    return !ReadState().kolRegistered;
}

}  // namespace kolvik
