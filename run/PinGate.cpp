// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TransportCode.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {

// While the context-menu entries are installed, anyone who can right-click a file could
// encrypt it; the first three characters of the first password guard every later run.
bool frmKolvik::PinGate() {
    if (RegContextMenu != "ja") return true;
    if (!RegChecksum.empty()) {
        CipherKey = std::string(kTransportKey);
        if (PinMatches(RegChecksum)) return true;
        MsgBox("Foute PIN-code", MsgButtons::OK, MsgIcon::Exclamation);
        Report.pinRefused = true;
        txtPassword_1.text.clear();
        txtPassword_2.text.clear();
        txtPassword_1.enabled = txtPassword_2.enabled = true;
        cmdEncrypt.enabled = cmdDecrypt.enabled = true;
        cmdGoEncrypt.text = cmdGoDecrypt.text = ">-------->>>";
        cmdGoEncrypt.enabled = cmdGoDecrypt.enabled = false;
        SetFocus(txtPassword_1);
        return false;
    }
    MsgBox(
        "Onthoud de eerste drie tekens van het zojuist door u ingevoerde wachtwoord.\r\n"
        "Dit is voortaan uw PIN-code. ( Verwijderen PIN-code = CTRL + u , F1 = Help)",
        MsgButtons::OK, MsgIcon::None);
    CipherKey = std::string(kTransportKey);
    const std::string code = EncodePin();
    svc.registry.RegWrite("HKEY_CLASSES_ROOT\\" + ProgId() + "\\Checksum\\", code);
    // The PIN holds from this run on, in this window too; else the next run here would take
    // whatever is typed as a new PIN.
    RegChecksum = code;
    return true;
}

// The scratch file these codes were once computed through would have been written just
// now, after the mode button, and so passed over under any key but the fixed one: the
// code is then empty.
std::string frmKolvik::EncodePin() {
    if (CipherKey != kTransportKey) return {};
    const std::string pin = PinBytes(txtPassword_1.text);
    for (std::size_t k = 0; k < pin.size(); ++k) DoEvents();
    return TransportCode(pin, CipherKey);
}

bool frmKolvik::PinMatches(const std::string& stored) { return EncodePin() == stored; }

}  // namespace kolvik
