// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/frmKolvik.h"

#include "session/Texts.h"

namespace kolvik {

namespace {
constexpr Rgb kRed{255, 0, 0};
constexpr int kBlockTop = 3300, kBlockSize = 240;
}  // namespace

frmKolvik::frmKolvik(Services services)
    : svc(std::move(services)), session(*this, svc.clock, svc.registry, svc.process) {
    caption = "Kolvik";
    clientWidth = 5835;
    clientHeight = 3990;
    txtPassword_1.passwordChar = txtPassword_2.passwordChar = true;
    lblPassword_1.face = lblPassword_2.face = Label1.face = FontFace::Script;
    lblPercentage.bold = true;
    lblCapsLock.bold = true;
    lblCapsLock.foreColor = kRed;
    lblCapsLock.tooltip = "CapsLock ACTIEF";
    cmdExit.picture = "exit";
    for (int i = 0; i < kBlocks; ++i) {
        element[i] = Control("element(" + std::to_string(i) + ")", ControlKind::Picture, "",
                             {0, kBlockTop, kBlockSize, kBlockSize});
        element[i].picture = "block";
        element[i].visible = false;
    }
    // An upper frame around the entry controls, and a lower one around the statistics
    // whose top edge stays open where Label1 stands.
    lines = {Control::Line("Line1", 120, 150, 5640, 150, 2),
             Control::Line("Line2", 120, 1650, 5640, 1650, 2),
             Control::Line("Line3", 120, 150, 120, 1650, 2),
             Control::Line("Line4", 5640, 150, 5640, 1650, 2),
             Control::Line("Line5", 150, 2400, 1920, 2400, 2),
             Control::Line("Line6", 3960, 2400, 5550, 2400, 2),
             Control::Line("Line7", 150, 3150, 5550, 3150, 2),
             Control::Line("Line8", 150, 2400, 150, 3150, 2),
             Control::Line("Line9", 5550, 2400, 5550, 3150, 2)};
    focus = txtPassword_1.name;
    LoadStrongChoice();
}

std::vector<Control*> frmKolvik::Controls() {
    std::vector<Control*> all = {&lblPassword_1, &txtPassword_1, &lblPassword_2, &txtPassword_2,
                                 &cmdExit,       &cmdGoEncrypt,  &cmdGoDecrypt,  &cmdEncrypt,
                                 &cmdDecrypt,    &lblLoggen,     &chkLoggen,     &lblFiles,
                                 &Label1,        &lblTotalFiles, &lblPercentage, &lblTijd,
                                 &lblCopyright,  &lblCapsLock,   &lblSterk,      &chkSterk};
    for (auto& block : element) all.push_back(&block);
    for (auto& line : lines) all.push_back(&line);
    return all;
}

void frmKolvik::OnClick(Control& c) {
    if (&c == &cmdEncrypt)
        cmdEncrypt_Click();
    else if (&c == &cmdDecrypt)
        cmdDecrypt_Click();
    else if (&c == &cmdExit)
        cmdExit_Click();
    else if (&c == &chkLoggen)
        chkLoggen_Click();
    else if (&c == &chkSterk)
        chkSterk_Click();
    else if (&c == &cmdGoEncrypt)
        cmdGoEncrypt_Click();
    else if (&c == &cmdGoDecrypt)
        cmdGoDecrypt_Click();
}

void frmKolvik::OnKeyUp(int, int) { UpdateCapsLockNotice(); }
void frmKolvik::OnResize() { UpdateCapsLockNotice(); }

void frmKolvik::cmdEncrypt_Click() {
    const ModeRefusal refusal = session.ChooseMode(RunMode::Encrypt, txtPassword_1.text,
                                                   txtPassword_2.text, chkSterk.value == 1);
    if (refusal != ModeRefusal::None) {
        MsgBox(std::string(ModeRefusalText(refusal)));
        txtPassword_1.text.clear();
        txtPassword_2.text.clear();
        // After one file was decrypted the boxes stay locked with its password, which an
        // encryption may still refuse (empty, or not storable in the old format): it must be
        // typable anew. Locked boxes cannot hold two different entries.
        if (refusal != ModeRefusal::Unequal) txtPassword_1.enabled = txtPassword_2.enabled = true;
        SetFocus(txtPassword_1);
        return;
    }
    cmdGoEncrypt.text = "Encrypt";
    cmdGoEncrypt.visible = true;
    cmdGoDecrypt.visible = false;
    cmdEncrypt.enabled = cmdDecrypt.enabled = false;
    txtPassword_1.enabled = txtPassword_2.enabled = false;
    cmdGoEncrypt.enabled = true;
    SetFocus(cmdGoEncrypt);
}

void frmKolvik::cmdDecrypt_Click() {
    const ModeRefusal refusal =
        session.ChooseMode(RunMode::Decrypt, txtPassword_1.text, txtPassword_2.text, false);
    if (refusal != ModeRefusal::None) {
        // Unlike encryption, only the confirmation is asked for again.
        MsgBox(std::string(ModeRefusalText(refusal)));
        txtPassword_2.text.clear();
        SetFocus(txtPassword_2);
        return;
    }
    cmdGoDecrypt.text = "Decrypt";
    cmdGoEncrypt.visible = false;
    cmdGoDecrypt.visible = true;
    cmdDecrypt.enabled = cmdEncrypt.enabled = false;
    txtPassword_1.enabled = txtPassword_2.enabled = false;
    cmdGoDecrypt.enabled = true;
    SetFocus(cmdGoDecrypt);
}

void frmKolvik::cmdExit_Click() {
    session.RequestExit();
    Unload();
}

void frmKolvik::BackToEntering() {
    txtPassword_1.enabled = txtPassword_2.enabled = true;
    EnableAllowedModes();
    cmdGoEncrypt.text = cmdGoDecrypt.text = ">-------->>>";
    cmdGoEncrypt.enabled = cmdGoDecrypt.enabled = false;
}

// A file named on its own has one mode only: decrypting a plain file would do nothing and say
// it was not found.
void frmKolvik::EnableAllowedModes() {
    cmdEncrypt.enabled = session.ModeAllowed(RunMode::Encrypt);
    cmdDecrypt.enabled = session.ModeAllowed(RunMode::Decrypt);
}

void frmKolvik::CloseProgram() {
    if (registrationDialog) registrationDialog->Unload();
    Unload();
}

void frmKolvik::UpdateCapsLockNotice() { lblCapsLock.visible = svc.keys.CapsLockOn(); }

void frmKolvik::DoEvents() { svc.screen.Yield(); }

MsgAnswer frmKolvik::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    return svc.dialogs.MsgBox(text, buttons, icon);
}

}  // namespace kolvik
