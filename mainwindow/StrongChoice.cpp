// SPDX-License-Identifier: GPL-3.0-or-later
// The check box that picks the strong format for encryption. Decryption needs no choice: it
// recognises either format by itself.
#include "mainwindow/frmKolvik.h"

namespace kolvik {
namespace {

// Under the user's own key, never under the classes that registration writes and removes.
constexpr const char* kStrongSetting = "HKEY_CURRENT_USER\\Software\\Kolvik\\Sterk";
constexpr const char* kStrongTip =
    "Sterk versleutelen (AES-256 met een wachtwoordsleutel): zonder het wachtwoord is de inhoud "
    "niet terug te halen. Alleen Kolvik kan sterke bestanden openen. Het origineel wordt "
    "overschreven; op btrfs, SSD's en USB-sticks is dat geen garantie.";

}  // namespace

void frmKolvik::LoadStrongChoice() {
    chkSterk.tooltip = lblSterk.tooltip = kStrongTip;
    chkSterk.value = svc.registry.RegRead(kStrongSetting) == "1" ? 1 : 0;
}

void frmKolvik::chkSterk_Click() {
    (void)svc.registry.RegWrite(kStrongSetting, chkSterk.value == 1 ? "1" : "0");
    // The mode button fixed the format along with the password it accepted; a change after it
    // counts as a new press, so that the password is checked for the format that will be used.
    if (!session.DecryptMode() && cmdGoEncrypt.visible && cmdGoEncrypt.enabled && !RunBusy) {
        cmdEncrypt_Click();
        // Refused: as if the mode had never been chosen, start button captioned as at start-up.
        if (session.Report().passwordRefused) {
            cmdGoEncrypt.enabled = false;
            cmdGoEncrypt.text = ">-------->>>";
            EnableAllowedModes();
        }
    }
}

}  // namespace kolvik
