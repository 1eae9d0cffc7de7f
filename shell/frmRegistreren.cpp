// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmRegistreren.h"

#include "mainwindow/frmKolvik.h"
#include "shell/frmTooltip.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {

const char* const kRemovalQuestion =
    "Kolvik wordt uit het Windows-register verwijderd.\r\nHierna wordt het programma afgesloten.";

namespace {
constexpr Rgb kPaleYellow{255, 255, 192};
constexpr Rgb kFrameRed{255, 128, 128};
constexpr int kFrameWidth = 3;
}  // namespace

frmRegistreren::frmRegistreren(frmKolvik& main) : main_(main) {
    caption = "Kolvik registreren";
    clientWidth = 3645;
    clientHeight = 2685;
    backColor = kPaleYellow;
    cmdOK.backColor = cmdCancel.backColor = kPaleYellow;
    Image1.picture = "registreren";
    lblKolExtension.fitText = lblContextMenu.fitText = lblRemoveFromRegister.fitText = true;
    lines = {Control::Line("Line1", 150, 150, 3450, 150, kFrameWidth),
             Control::Line("Line2", 150, 2550, 3450, 2550, kFrameWidth),
             Control::Line("Line3", 150, 150, 150, 2550, kFrameWidth),
             Control::Line("Line4", 3450, 150, 3450, 2550, kFrameWidth)};
    for (auto& line : lines) line.foreColor = kFrameRed;
}

std::vector<Control*> frmRegistreren::Controls() {
    // Back to front: the empty click area lies over the texts it shares room with.
    std::vector<Control*> all;
    for (auto& line : lines) all.push_back(&line);
    for (Control* c : {&Image1, &lblKolExtension, &lblContextMenu, &lblRemoveFromRegister,
                       &lblToolTipActivate, &cmdOK, &cmdCancel, &chkKolExtension, &chkContextMenu})
        all.push_back(c);
    return all;
}

void frmRegistreren::OnClick(Control& c) {
    if (&c == &chkKolExtension)
        chkKolExtension_Click();
    else if (&c == &chkContextMenu)
        chkContextMenu_Click();
    else if (&c == &cmdOK)
        cmdOK_Click();
    else if (&c == &cmdCancel)
        cmdCancel_Click();
}

void frmRegistreren::OnControlKeyDown(Control& c, int keyCode, int shift) {
    if (&c == &cmdOK && keyCode == kKeyEscape && shift == 0) Unload();
}

void frmRegistreren::OnMouseDown(Control* c) {
    if (c == &lblContextMenu || c == &lblToolTipActivate) lblContextMenu_MouseDown();
}

void frmRegistreren::OnMouseMove(Control* c) {
    if (c == &lblToolTipActivate)
        pointer = MousePointer::QuestionArrow;
    else if (c == nullptr)
        pointer = MousePointer::Default;
}

void frmRegistreren::SetValue(Control& box, int value) {
    if (box.value == value) return;
    box.value = value;
    OnClick(box);
}

void frmRegistreren::Form_Load() {
    // With the context menu in place only Annuleren closes the dialog.
    if (ParseYesNo(main_.session.RegContextMenu()) == YesNo::Yes) cmdOK.enabled = false;
    SetValue(chkKolExtension, ParseYesNo(main_.session.RegKolExtension()) == YesNo::No ? 0 : 1);
    SetValue(chkContextMenu, ParseYesNo(main_.session.RegContextMenu()) == YesNo::No ? 0 : 1);
    ShowRemovalLabel();
    focus = cmdOK.enabled ? cmdOK.name : cmdCancel.name;
}

void frmRegistreren::chkKolExtension_Click() {
    if (Busy) {
        Busy = false;
        return;
    }
    if (chkKolExtension.value == 0) {
        // The context menu opens files through the association.
        Busy = true;
        SetValue(chkContextMenu, 0);
    }
    Busy = false;
    ShowRemovalLabel();
}

void frmRegistreren::chkContextMenu_Click() {
    if (Busy) {
        Busy = false;
        return;
    }
    if (chkContextMenu.value == 1) {
        Busy = true;
        SetValue(chkKolExtension, 1);
    }
    Busy = false;
    ShowRemovalLabel();
}

void frmRegistreren::cmdOK_Click() {
    main_.session.ChooseRegistration(YesNoText(chkKolExtension.value != 0),
                                     YesNoText(chkContextMenu.value != 0));
    if (chkKolExtension.value == 0 && chkContextMenu.value == 0) {
        if (main_.MsgBox(kRemovalQuestion, MsgButtons::OKCancel) == MsgAnswer::Cancel) return;
        main_.REG_Delete();
        Unload();  // REG_Delete closes it too, when the main window knows it
        return;
    }
    main_.REG_Create();
    main_.session.NoteRegistered();
    Unload();
}

void frmRegistreren::cmdCancel_Click() { Unload(); }

void frmRegistreren::lblContextMenu_MouseDown() {
    if (chkContextMenu.value == 1) frmTooltip::ShowModal(main_.svc.dialogs);
}

void frmRegistreren::ShowRemovalLabel() {
    lblRemoveFromRegister.visible = chkKolExtension.value == 0 && chkContextMenu.value == 0;
}

void frmRegistreren::ShowModal(frmKolvik& main) {
    frmRegistreren dialog(main);
    Form* const before = main.registrationDialog;
    main.registrationDialog = &dialog;
    dialog.Form_Load();
    main.svc.dialogs.ShowModal(dialog);
    main.registrationDialog = before;
}

}  // namespace kolvik
