// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmHelp.h"

#include "mainwindow/frmKolvik.h"
#include "shell/frmRegistreren.h"

namespace kolvik {

namespace {
constexpr Rgb kPaleYellow{255, 255, 192};
constexpr Rgb kFrameRed{255, 128, 128};
constexpr int kFrameWidth = 3;
}  // namespace

frmHelp::frmHelp(frmKolvik& main) : main_(main) {
    caption = "Help";
    clientWidth = 3645;
    clientHeight = 2685;
    backColor = cmdOK.backColor = kPaleYellow;
    lblRegistreren.tooltip = " Kolvik aan Windows-register toevoegen";
    lblDERegistreren.tooltip = " Kolvik uit Windows-register verwijderen";
    Label1.tooltip = " Kolvik uit Windows-register verwijderen";
    lblCopyPWToClipboard.tooltip = " voor gebruik in commandoregel";
    Label4.tooltip =
        " commandoregel syntax (alleen versleutelen) : Kolvik -pw versleuteldwachtwoord "
        "[bestandsnaam | foldernaam]";
    cmdOK.tooltip = " verlaat dit scherm";
    imQuestionmark.picture = "vraagteken";
    for (Control* label :
         {&lblRegistreren, &lblDERegistreren, &Label1, &lblCopyPWToClipboard, &Label4})
        label->fitText = true;
    // The frame around the command-line syntax.
    lines = {Control::Line("Line1", 150, 2025, 3450, 2025, kFrameWidth),
             Control::Line("Line2", 150, 2565, 3450, 2565, kFrameWidth),
             Control::Line("Line3", 150, 2025, 150, 2565, kFrameWidth),
             Control::Line("Line4", 3450, 2025, 3450, 2565, kFrameWidth)};
    for (auto& line : lines) line.foreColor = kFrameRed;
    focus = cmdOK.name;
}

std::vector<Control*> frmHelp::Controls() {
    std::vector<Control*> all;
    for (auto& line : lines) all.push_back(&line);
    for (Control* c : {&imQuestionmark, &lblRegistreren, &lblDERegistreren, &Label1,
                       &lblCopyPWToClipboard, &Label4, &cmdOK})
        all.push_back(c);
    return all;
}

void frmHelp::OnClick(Control& c) {
    if (&c == &cmdOK)
        Unload();
    else if (&c == &lblRegistreren)
        lblRegistreren_Click();
    else if (&c == &lblDERegistreren)
        lblDERegistreren_Click();
}

void frmHelp::OnControlKeyDown(Control& c, int keyCode, int shift) {
    if (&c == &cmdOK && keyCode == kKeyEscape && shift == 0) Unload();
}

void frmHelp::Form_Load() {
    // What the store holds now: the registration dialog opened from here starts from it too.
    main_.session.ReadRegistrationNow(main_.ProgId());
    imQuestionmark.tooltip = main_.session.KolRegisterd()
                                 ? " deze versie van Kolvik is geregistreerd "
                                 : " deze versie van Kolvik is NIET geregistreerd ";
}

void frmHelp::lblRegistreren_Click() {
    Unload();
    frmRegistreren::ShowModal(main_);
}

void frmHelp::lblDERegistreren_Click() {
    if (main_.MsgBox(kRemovalQuestion, MsgButtons::OKCancel) == MsgAnswer::Cancel) return;
    main_.REG_Delete();
    Unload();
}

void frmHelp::ShowModal(frmKolvik& main) {
    frmHelp help(main);
    help.Form_Load();
    main.svc.dialogs.ShowModal(help);
}

}  // namespace kolvik
