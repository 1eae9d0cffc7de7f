// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The change check of the view binders: which of a form's fields, and of each control's, differ
// from what the view last showed. A binder pushes only those into its widgets, so that typing,
// the cursor and the selection are never disturbed and nothing flickers at a yield; how it
// pushes them is its own toolkit's business.
#include <string>

#include "platform/Form.h"

namespace kolvik {

// What a view last showed of the form itself.
struct FormShown {
    bool synced = false;  // nothing yet: the first sync pushes everything
    std::string caption, focus;
    int width = -1, height = -1;
    MousePointer pointer = MousePointer::Default;
};

struct FormChanges {
    bool all = false;  // the first sync: every control is pushed whole too
    bool caption = false, size = false, pointer = false;
};

// What of the form differs from shown; shown then holds the form's state. The focus is left
// out: a binder may have to hold it back (a button held down keeps it until released).
FormChanges TakeFormChanges(const Form& form, FormShown& shown);

struct ControlChanges {
    bool place = false;
    bool text = false;       // label, button and text box: the other kinds show no text
    bool picture = false;    // picture and button
    bool value = false;      // check box
    bool lineWidth = false;  // line
    bool tooltip = false;
    bool font = false;    // bold or face
    bool colors = false;  // fore or back colour
    bool enabled = false, visible = false;
    // A label that fits its font to its text is fitted again after its text, place or font.
    bool refit = false;
};

// What of control differs from shown; shown then holds control's state. With all, everything
// its kind shows counts as changed, but for a text box's text: the user types into the box, so
// shown.text must be what the box holds now, and only a real difference is pushed (pushing the
// same text moves the cursor).
ControlChanges TakeChanges(const Control& control, Control& shown, bool all);

}  // namespace kolvik
