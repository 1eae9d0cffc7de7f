// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/frmKolvik.h"

namespace kolvik {

bool frmKolvik::PinGate() {
    if (session.PinGate(txtPassword_1.text, *this)) return true;
    ForgetRefusedPin();
    return false;
}

void frmKolvik::ForgetRefusedPin() {
    txtPassword_1.text.clear();
    txtPassword_2.text.clear();
    BackToEntering();
    SetFocus(txtPassword_1);
}

}  // namespace kolvik
