// SPDX-License-Identifier: GPL-3.0-or-later
// The window's registration procedures, over the session's Registration: the folders found and
// the options chosen are the window's fields; unloading the windows is the window's own.
#include "session/Registration.h"

#include "mainwindow/frmKolvik.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {
namespace {

InstallPlace PlaceOf(const frmKolvik& f) {
    return {f.WindowsShell, f.SystemRootPath, f.SystemFolder,
            f.Wow64Folder,  f.IconFolder,     f.Is64Bit};
}

void Keep(frmKolvik& f, const InstallPlace& place) {
    f.SystemRootPath = place.systemRoot;
    f.SystemFolder = place.systemFolder;
    f.Wow64Folder = place.wow64Folder;
    f.IconFolder = place.iconFolder;
    f.Is64Bit = place.is64Bit;
}

Registration RegistrationOf(frmKolvik& f) {
    return Registration(f.svc.registry, f.svc.process, f.ProgId());
}

RegistrationOptions OptionsOf(const frmKolvik& f) {
    return {f.session.RegKolExtension(), f.session.RegContextMenu()};
}

// The procedures themselves ignore a script that cannot be written: its import then finds none.
void WriteScript(frmKolvik& f, RegScript script) {
    static_cast<void>(RegistrationOf(f).WriteScript(script, PlaceOf(f), OptionsOf(f)));
}

}  // namespace

std::string frmKolvik::ProgId() const {
    return MakeProgId(VersionMajor, VersionMinor, VersionRevision);
}

std::string frmKolvik::ScriptTargetFolder() const {
    return Registration(svc.registry, svc.process, ProgId()).ScriptTargetFolder(PlaceOf(*this));
}

void frmKolvik::CreateKol_REG() { WriteScript(*this, RegScript::Kol); }
void frmKolvik::CreateKolvik_REG() { WriteScript(*this, RegScript::Kolvik); }
void frmKolvik::CreateContexMenu_REG() { WriteScript(*this, RegScript::ContextMenu); }
void frmKolvik::CreateBesleutelMap_REG() { WriteScript(*this, RegScript::BesleutelMap); }

void frmKolvik::FindSystemFolders() {
    InstallPlace place = PlaceOf(*this);
    RegistrationOf(*this).FindSystemFolders(place);
    Keep(*this, place);
}

// The window tells nothing of what failed: the state read back shows what is registered.
void frmKolvik::REG_Create() {
    InstallPlace place = PlaceOf(*this);
    static_cast<void>(RegistrationOf(*this).Register(place, OptionsOf(*this)));
    Keep(*this, place);
}

void frmKolvik::REG_Check() { session.ReadRegistration(ProgId()); }

void frmKolvik::REG_Delete() {
    static_cast<void>(RegistrationOf(*this).Unregister(PlaceOf(*this)));
    // The program ends here: a run still in progress stops between two blocks, as on Exit,
    // instead of going on without a window.
    session.RequestExit();
    CloseProgram();
}

}  // namespace kolvik
