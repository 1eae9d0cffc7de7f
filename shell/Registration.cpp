// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"
#include "platform/DesktopIntegration.h"
#include "shellfiles/DesktopFiles.h"
#include "shellfiles/KolvikIcon.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik {
namespace {

namespace fs = std::filesystem;

constexpr int kPermissionDenied = 70;

// Our texts are UTF-8 on every platform.
fs::path U8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

// The numbers the procedures test: 61 disk full, 70 permission denied, 76 path not found.
int ErrorNumber(const std::error_code& ec) {
    if (!ec) return 0;
    switch (ec.default_error_condition().value()) {
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return 61;
        case EACCES:
        case EPERM:
            return kPermissionDenied;
        case ENOENT:
        case ENOTDIR:
            return 76;
        default:
            return 1000 + ec.value();
    }
}

// Both installers write beside the target first, so a running copy there is never
// truncated and a failed write leaves the earlier file as it was.
int ReplaceFrom(const std::string& temp, const std::string& target, std::error_code ec) {
    if (!ec) fs::rename(U8(temp), U8(target), ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(U8(temp), ignored);
    }
    return ErrorNumber(ec);
}

int CopyReplacing(const std::string& from, const std::string& to) {
    const std::string temp = to + ".kolvik-nieuw";
    std::error_code ec;
    fs::copy_file(U8(from), U8(temp), fs::copy_options::overwrite_existing, ec);
    return ReplaceFrom(temp, to, ec);
}

int WriteReplacing(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".kolvik-nieuw";
    std::error_code ec;
    errno = 0;
    std::ofstream out(U8(temp), std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out) ec = std::error_code(errno != 0 ? errno : EIO, std::generic_category());
    return ReplaceFrom(temp, path, ec);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool frmKolvik::HostIsWindows() { return HostFlavor() == Flavor::Windows; }

std::string frmKolvik::ProgId() const {
    return MakeProgId(VersionMajor, VersionMinor, VersionRevision);
}

std::string frmKolvik::ScriptFolder() const {
    return svc.process.dataFolder.empty() ? svc.process.programFolder : svc.process.dataFolder;
}

// SysWOW64 is where the copy into SYSTEM32 lands only for a 32-bit program on 64-bit Windows;
// a 64-bit program's copy, and one that fell back to the program folder, are where SystemFolder
// says, and the scripts must name the copy that is there.
std::string frmKolvik::ScriptTargetFolder() const {
    const bool redirected =
        Is64Bit && svc.process.systemFolderRedirected && SystemFolder != svc.process.programFolder;
    return redirected ? Wow64Folder : SystemFolder;
}

namespace {

// Files are reached the host's way, whichever system the names and scripts are for.
std::string FilePath(const std::string& folder, const std::string& name) {
    return HostFlavor() == Flavor::Windows ? FixRootPath(folder + "\\" + name)
                                           : JoinPath(folder, name);
}

ScriptTarget TargetOf(const frmKolvik& f) {
    const std::string folder = f.ScriptTargetFolder();
    return {f.WindowsShell ? Flavor::Windows : Flavor::Linux, folder,
            f.WindowsShell ? folder : f.IconFolder};
}

// The desktop files name the installed copy, and the icon where REG_Create put it.
DesktopSetup DesktopSetupOf(const frmKolvik& f) {
    const auto& environment = f.svc.process.environment;
    const UserFolders folders = UserFoldersFrom(environment);
    return {folders, JoinPath(f.SystemFolder, "kolvik"), DesktopIconFor(folders, f.IconFolder),
            environment};
}

}  // namespace

void frmKolvik::CreateKol_REG() {
    WriteScriptFile(FilePath(ScriptFolder(), "Kol.reg"), KolReg(ProgId()));
}

void frmKolvik::CreateKolvik_REG() {
    WriteScriptFile(
        FilePath(ScriptFolder(), "kolvik.reg"),
        KolvikReg(ProgId(), TargetOf(*this), session.RegKolExtension, session.RegContextMenu));
}

void frmKolvik::CreateContexMenu_REG() {
    WriteScriptFile(FilePath(ScriptFolder(), "ContextMenu.reg"), ContextMenuReg(TargetOf(*this)));
}

void frmKolvik::CreateBesleutelMap_REG() {
    WriteScriptFile(FilePath(ScriptFolder(), "BesleutelMap.reg"), BesleutelMapReg(TargetOf(*this)));
}

void frmKolvik::FindSystemFolders() {
    const auto& environment = svc.process.environment;
    if (WindowsShell) {
        for (const std::string& entry : environment) {
            if (entry.empty()) break;
            if (StartsWith(entry, "SystemRoot=")) {
                SystemRootPath = entry.substr(11);
                SystemFolder = SystemRootPath + "\\SYSTEM32";
            }
            if (StartsWith(entry, "PROCESSOR_IDENTIFIER=Intel64")) Is64Bit = true;
        }
        if (Is64Bit) Wow64Folder = SystemRootPath + "\\SysWOW64";
        IconFolder = SystemFolder;
        return;
    }
    const UserFolders folders = UserFoldersFrom(environment);
    SystemFolder = folders.home + "/.local/bin";
    IconFolder = folders.dataHome + "/icons/hicolor/256x256/apps";
    Is64Bit = false;
}

void frmKolvik::REG_Create() {
    const bool windows = WindowsShell;
    const std::string& program = svc.process.programFolder;
    const std::string exeName = windows ? "Kolvik.exe" : "kolvik";
    const std::string iconName = windows ? "Kolvik.ico" : "kolvik.png";
    const std::string icon = windows ? KolvikIconIco() : KolvikIconPng();
    if (windows) IconFolder = SystemFolder;

    // The Windows system folder always exists; its Linux stand-ins may not yet.
    if (!windows) {
        std::error_code ignored;
        fs::create_directories(U8(SystemFolder), ignored);
        fs::create_directories(U8(IconFolder), ignored);
    }

    int lastError = 0;
    if (int e = CopyReplacing(FilePath(program, exeName), FilePath(SystemFolder, exeName))) {
        lastError = e;
    }
    if (int e = WriteReplacing(FilePath(IconFolder, iconName), icon)) lastError = e;
    if (lastError == kPermissionDenied) {
        WriteReplacing(FilePath(program, iconName), icon);
        SystemFolder = program;
        IconFolder = program;
    }

    const auto importScripts = [&](const char* first, const char* second) {
        const std::string a = FilePath(ScriptFolder(), first);
        const std::string b = FilePath(ScriptFolder(), second);
        svc.registry.Import(a);
        svc.registry.Import(b);
        std::error_code ignored;
        fs::remove(U8(a), ignored);
        fs::remove(U8(b), ignored);
    };
    if (session.RegKolExtension == "ja") {
        CreateKol_REG();
        CreateKolvik_REG();
        importScripts("Kol.reg", "kolvik.reg");
    }
    if (session.RegContextMenu == "ja") {
        CreateContexMenu_REG();
        CreateBesleutelMap_REG();
        importScripts("ContextMenu.reg", "BesleutelMap.reg");
    }
    if (!windows) {
        const DesktopSetup setup = DesktopSetupOf(*this);
        if (session.RegKolExtension == "ja") InstallFileAssociation(setup);
        if (session.RegContextMenu == "ja") InstallContextMenus(setup);
    }
}

void frmKolvik::REG_Check() { session.ReadRegistration(ProgId()); }

void frmKolvik::REG_Delete() {
    const std::string key = "HKEY_CLASSES_ROOT\\" + ProgId();
    // Children before their parents: a key that still has subkeys is not removed.
    const std::string keys[] = {
        "HKEY_CLASSES_ROOT\\.kol\\",
        key + "\\Checksum\\",
        key + "\\DefaultIcon\\",
        key + "\\Options\\",
        key + "\\shell\\Open\\command\\",
        key + "\\shell\\Open\\ddeexec\\Application\\",
        key + "\\shell\\Open\\ddeexec\\Topic\\",
        key + "\\shell\\Open\\ddeexec\\",
        key + "\\shell\\Open\\",
        key + "\\shell\\",
        key + "\\",
        "HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command\\",
        "HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\",
        "HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\command\\",
        "HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\",
    };
    for (const auto& name : keys) svc.registry.RegDelete(name);
    if (!WindowsShell) RemoveDesktopIntegration(DesktopSetupOf(*this));
    // The program ends here: a run still in progress stops between two blocks, as on Exit,
    // instead of going on without a window.
    session.ExitRequested = true;
    CloseProgram();
}

}  // namespace kolvik
