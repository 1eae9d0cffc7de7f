// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/frmKolvik.h"
#include "session/Texts.h"

namespace kolvik {

bool frmKolvik::PinGate() {
    switch (session.CheckPin(txtPassword_1.text)) {
        case PinCheck::NotAsked:
        case PinCheck::Matches:
            return true;
        case PinCheck::Refused:
            MsgBox(std::string(kPinRefusedText), MsgButtons::OK, MsgIcon::Exclamation);
            txtPassword_1.text.clear();
            txtPassword_2.text.clear();
            BackToEntering();
            SetFocus(txtPassword_1);
            return false;
        case PinCheck::FirstRun:
            break;
    }
    MsgBox(std::string(kPinFirstRunText), MsgButtons::OK, MsgIcon::None);
    session.StorePin(txtPassword_1.text);
    return true;
}

}  // namespace kolvik
