// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TransportCode.h"
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

// The scratch file these codes were once computed through would have been written just
// now, after the mode button, and so passed over under any key but the fixed one: the
// code is then empty.
std::string frmKolvik::EncodePin() {
    if (session.CipherKey != kTransportKey) return {};
    return session.PinCode(txtPassword_1.text);
}

bool frmKolvik::PinMatches(const std::string& stored) { return EncodePin() == stored; }

}  // namespace kolvik
