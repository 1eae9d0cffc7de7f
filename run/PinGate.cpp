// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/frmKolvik.h"
#include "session/Texts.h"

namespace kolvik {

bool frmKolvik::PinGate() {
    PinCheck check = session.CheckPin(txtPassword_1.text);
    if (check == PinCheck::FirstRun) {
        MsgBox(std::string(kPinFirstRunText), MsgButtons::OK, MsgIcon::None);
        check = session.StorePin(txtPassword_1.text);
    }
    if (check != PinCheck::Refused) return true;
    MsgBox(std::string(kPinRefusedText), MsgButtons::OK, MsgIcon::Exclamation);
    txtPassword_1.text.clear();
    txtPassword_2.text.clear();
    BackToEntering();
    SetFocus(txtPassword_1);
    return false;
}

}  // namespace kolvik
