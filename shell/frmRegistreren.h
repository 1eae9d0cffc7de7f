// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small modal dialog in which the user chooses the shell integration: the .kol
// association and the context-menu entries.
#include <array>
#include <string>
#include <vector>

#include "platform/Form.h"

namespace kolvik {

class frmKolvik;

// The removal question that the dialog and the help window both ask.
extern const char* const kRemovalQuestion;

class frmRegistreren : public Form {
  public:
    explicit frmRegistreren(frmKolvik& main);

    // Loads a fresh dialog and shows it modally over the main window; while it is open the
    // main window knows it, so that a removal or the end of a run can close it.
    static void ShowModal(frmKolvik& main);

    Control chkContextMenu{"chkContextMenu", ControlKind::CheckBox, "", {450, 1395, 240, 240}, 4};
    Control chkKolExtension{"chkKolExtension", ControlKind::CheckBox, "", {450, 495, 240, 240}, 2};
    Control cmdCancel{"cmdCancel", ControlKind::Button, "Annuleren", {2475, 1650, 915, 315}, 1};
    Control cmdOK{"cmdOK", ControlKind::Button, "OK", {2475, 1200, 915, 315}, 0};
    Control lblRemoveFromRegister{"lblRemoveFromRegister",
                                  ControlKind::Label,
                                  "  (Eliminate Kolvik from Windows registry)",
                                  {300, 2250, 3015, 315},
                                  7};
    Control lblToolTipActivate{
        "lblToolTipActivate", ControlKind::Label, "", {1350, 1800, 915, 615}, 6};
    // Both captions start 90 twips left of the first layout, where the last letter of
    // "context" met cmdOK.
    Control lblContextMenu{"lblContextMenu",
                           ControlKind::Label,
                           "Add Kolvik to context (=rightclick) - menu",
                           {810, 1350, 1530, 615},
                           5};
    Control lblKolExtension{"lblKolExtension",
                            ControlKind::Label,
                            "Associate with .KOL extension",
                            {810, 495, 1515, 540},
                            3};
    Control Image1{"Image1", ControlKind::Picture, "", {2475, 270, 975, 915}};
    std::array<Control, 4> lines;

    // Set while one box is changed by the other's handler, so that the handler which that
    // change runs does nothing.
    bool Busy = false;

    std::vector<Control*> Controls() override;
    void OnClick(Control& c) override;
    void OnControlKeyDown(Control& c, int keyCode, int shift) override;
    void OnMouseDown(Control* c) override;
    void OnMouseMove(Control* c) override;

    void Form_Load();
    void chkKolExtension_Click();
    void chkContextMenu_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void lblContextMenu_MouseDown();

    // Sets a box as the user would: a change of value runs its click handler.
    void SetValue(Control& box, int value);

  private:
    void ShowRemovalLabel();
    frmKolvik& main_;
};

}  // namespace kolvik
