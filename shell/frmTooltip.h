// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The yellow, tooltip-like notice that explains the PIN code the context menu brings.
#include <array>
#include <vector>

#include "platform/Form.h"

namespace kolvik {

class Dialogs;

class frmTooltip : public Form {
  public:
    frmTooltip();

    // Loads a fresh notice and shows it modally.
    static void ShowModal(Dialogs& dialogs);

    Control lblTooltip{"lblTooltip", ControlKind::Label, "", {150, 150, 4365, 1965}};
    std::array<Control, 4> lines;

    // Set by the first mouse move over the text; the next one closes the notice, so that
    // it goes away as a tooltip does once the mouse moves on.
    bool Armed = false;

    std::vector<Control*> Controls() override;
    void OnClick(Control& c) override;
    void OnMouseDown(Control* c) override;
    void OnMouseMove(Control* c) override;

    void Form_Load();
    void lblTooltip_MouseMove();
};

}  // namespace kolvik
