// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keyboard commands; the window sees a key before its focused control.
#include "mainwindow/frmKolvik.h"
#include "shell/frmHelp.h"
#include "shell/frmRegistreren.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {

bool frmKolvik::OnKeyDown(int keyCode, int shift) { return Form_KeyDown(keyCode, shift); }

bool frmKolvik::Form_KeyDown(int keyCode, int shift) {
    // During a run the help window and the registration dialog wait: a modal window would
    // stand the run still and keep Exit from being pressed. The key is still the window's.
    if (keyCode == kKeyF1 && shift == 0) {
        if (!RunBusy) frmHelp::ShowModal(*this);
        return true;
    }
    if (keyCode == kKeyR && shift == kCtrl) {
        if (RunBusy) return true;
        // Registered or removed by another Kolvik since this window opened: the store decides.
        session.ReadRegistrationNow(ProgId());
        if (ParseYesNo(session.RegContextMenu()) == YesNo::Yes)
            MsgBox("Kolvik is al geregistreerd.");
        else
            frmRegistreren::ShowModal(*this);
        return true;
    }
    if (keyCode == kKeyU && shift == kCtrl) {
        // Registered or removed elsewhere since this window opened: the store has the answer.
        REG_Check();
        if (session.KolRegisterd() &&
            MsgBox("U staat op het punt de toevoeging van\r\nKolvik aan het Windows-register te "
                   "verwijderen !",
                   MsgButtons::OKCancel) == MsgAnswer::OK) {
            REG_Delete();
            REG_Check();
        }
        return true;
    }
    return false;
}

}  // namespace kolvik
