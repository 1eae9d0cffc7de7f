// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window: the key commands, the command-line syntax, whether this version is
// registered, and registration and removal by clicking their lines.
#include <array>
#include <vector>

#include "platform/Form.h"

namespace kolvik {

class frmKolvik;

class frmHelp : public Form {
  public:
    explicit frmHelp(frmKolvik& main);

    // Loads a fresh help window and shows it modally.
    static void ShowModal(frmKolvik& main);

    Control lblRegistreren{"lblRegistreren",
                           ControlKind::Label,
                           "Ctrl + r = register Kolvik",
                           {150, 300, 2640, 240},
                           3};
    Control lblDERegistreren{"lblDERegistreren",
                             ControlKind::Label,
                             "Ctrl + u = unregister Kolvik ",
                             {150, 600, 2490, 240},
                             1};
    Control Label1{"Label1",
                   ControlKind::Label,
                   "Ctrl + m = Kolvik in/out off contextmenu   ",
                   {150, 900, 3090, 240},
                   8};
    Control lblCopyPWToClipboard{"lblCopyPWToClipboard",
                                 ControlKind::Label,
                                 "Ctrl + c = copy encrypted password to clipboard",
                                 {150, 1200, 2550, 390},
                                 2};
    Control Label4{"Label4",
                   ControlKind::Label,
                   " Kolvik -pw encryptedpassword [filename | foldername]",
                   {300, 2070, 2790, 390},
                   4};
    Control cmdOK{"cmdOK", ControlKind::Button, "Exit", {2700, 1200, 780, 465}, 0};
    Control imQuestionmark{"imQuestionmark", ControlKind::Picture, "", {2850, 150, 765, 780}};
    std::array<Control, 4> lines;

    std::vector<Control*> Controls() override;
    void OnClick(Control& c) override;
    void OnControlKeyDown(Control& c, int keyCode, int shift) override;

    void Form_Load();
    void lblRegistreren_Click();
    void lblDERegistreren_Click();

  private:
    frmKolvik& main_;
};

}  // namespace kolvik
