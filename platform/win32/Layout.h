// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The arithmetic of the Win32 views, apart from any window so that it can be tested alone:
// twips to pixels at a window's DPI, the key codes and shift state the handlers expect, the
// order in which a key press reaches the window and its focused control, and the tab order.
#include <functional>
#include <vector>

#include "platform/Form.h"

namespace kolvik::win32 {

constexpr int kTwipsPerInch = 1440;
constexpr int kBaseDpi = 96;  // the layout's pixels: 15 twips each
constexpr int kPointsPerInch = 72;

// Nearest pixel, halves away from zero.
int TwipsToPixels(int twips, int dpi);
// A length drawn for 96 dpi (a picture's pixels, a pen width) at dpi; never below 1.
int ScaleFrom96(int pixels, int dpi);
// The LOGFONT height of a face of that point size: negative, as a character height.
int FontHeight(double points, int dpi);

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

// Edges are rounded, not sizes, so that controls which touch in twips touch on screen too.
PixelRect ControlRect(const Twips& place, int dpi);

// A line's ends in the form's pixels and its pen width at dpi.
struct LinePixels {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0, width = 1;
    bool operator==(const LinePixels&) const = default;
};
LinePixels LineAt(const Control& line, int dpi);

// The handlers' key code for a Windows virtual-key code: the same numbers, with the left and
// right variants of Shift, Ctrl and Alt folded into the plain ones; 0 for anything else.
int ModelKeyCode(unsigned virtualKey);
// The handlers' shift bits: 1 Shift, 2 Ctrl, 4 Alt. AltGr arrives as Ctrl and Alt together.
int ShiftState(bool shift, bool ctrl, bool alt);

// Where a key press goes once the model has seen it.
enum class KeyRoute {
    ToControl,  // on to the focused control, as the system would deliver it
    Handled     // the window's own command, or its form closed: the control never gets it
};
// A key press reaches the window first and then the focused control (nullptr: the form
// itself has the focus); afterEach runs after each handler, so the views mirror its changes.
KeyRoute RouteKeyDown(Form& form, Control* focused, int keyCode, int shift,
                      const std::function<void()>& afterEach);
KeyRoute RouteKeyUp(Form& form, int keyCode, int shift, const std::function<void()>& afterEach);

// One control in the tab chain: its tab index and whether it can take the focus now.
struct TabStop {
    int tabIndex = -1;
    bool canFocus = false;
};
// The stop that Tab (or Shift+Tab, backwards) moves to from stops[current] (-1: none has the
// focus), in tab-index order, wrapping round and passing over those that cannot take the
// focus; -1 when none can.
int NextTabStop(const std::vector<TabStop>& stops, int current, bool backwards);

}  // namespace kolvik::win32
