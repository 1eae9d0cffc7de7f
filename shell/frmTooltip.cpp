// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/frmTooltip.h"

#include "platform/Services.h"

namespace kolvik {

namespace {
constexpr Rgb kTooltipYellow{255, 255, 225};
}  // namespace

frmTooltip::frmTooltip() {
    caption = "Kolvik";
    clientWidth = 4680;
    clientHeight = 2295;
    backColor = lblTooltip.backColor = kTooltipYellow;
    lblTooltip.fitText = true;
    lines = {
        Control::Line("Line1", 0, 0, 4650, 0, 1), Control::Line("Line2", 0, 2250, 4650, 2250, 1),
        Control::Line("Line3", 0, 0, 0, 2250, 1), Control::Line("Line4", 4650, 0, 4650, 2250, 1)};
}

std::vector<Control*> frmTooltip::Controls() {
    return {&lines[0], &lines[1], &lines[2], &lines[3], &lblTooltip};
}

void frmTooltip::Form_Load() {
    lblTooltip.text =
        "NB!   U werkt in dit geval met een PIN-code.\r\n"
        "Deze bestaat uit de eerste 3 tekens van het door u ingevoerde wachtwoord. Voortaan "
        "dienen deze\r\n"
        "3 vaste tekens als toegangscode om u te identificeren. Onbevoegden kunnen op deze "
        "wijze niet via het\r\n"
        "context-menu uw mappen of bestanden versleutelen.\r\n"
        "De PIN-code staat vast vanaf het moment dat u de eerste keer een wachtwoord invoert, "
        "maar kan\r\n"
        "weer verwijderd worden door Kolvik te de-registreren.";
}

void frmTooltip::OnClick(Control& c) {
    if (&c == &lblTooltip) Unload();
}

// A press anywhere closes the notice at once, on the text as well as on its edge.
void frmTooltip::OnMouseDown(Control*) { Unload(); }

void frmTooltip::OnMouseMove(Control* c) {
    if (c == &lblTooltip) lblTooltip_MouseMove();
}

void frmTooltip::lblTooltip_MouseMove() {
    if (Armed) {
        Armed = false;
        Unload();
    } else {
        Armed = true;
    }
}

void frmTooltip::ShowModal(Dialogs& dialogs) {
    frmTooltip notice;
    notice.Form_Load();
    dialogs.ShowModal(notice);
}

}  // namespace kolvik
