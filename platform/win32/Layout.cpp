// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/win32/Layout.h"

#include <algorithm>
#include <cmath>

namespace kolvik::win32 {

namespace {
int Round(double value) { return static_cast<int>(std::lround(value)); }
}  // namespace

int TwipsToPixels(int twips, int dpi) {
    return Round(static_cast<double>(twips) * dpi / kTwipsPerInch);
}

int ScaleFrom96(int pixels, int dpi) {
    return std::max(1, Round(static_cast<double>(pixels) * dpi / kBaseDpi));
}

int FontHeight(double points, int dpi) { return -Round(points * dpi / kPointsPerInch); }

PixelRect ControlRect(const Twips& place, int dpi) {
    return {TwipsToPixels(place.left, dpi), TwipsToPixels(place.top, dpi),
            TwipsToPixels(place.left + place.width, dpi),
            TwipsToPixels(place.top + place.height, dpi)};
}

LinePixels LineAt(const Control& line, int dpi) {
    // A line keeps its other end in width and height.
    return {TwipsToPixels(line.place.left, dpi), TwipsToPixels(line.place.top, dpi),
            TwipsToPixels(line.place.width, dpi), TwipsToPixels(line.place.height, dpi),
            ScaleFrom96(line.lineWidth, dpi)};
}

int ModelKeyCode(unsigned virtualKey) {
    switch (virtualKey) {
        case 0xA0:  // VK_LSHIFT, VK_RSHIFT
        case 0xA1:
            return 16;
        case 0xA2:  // VK_LCONTROL, VK_RCONTROL
        case 0xA3:
            return 17;
        case 0xA4:  // VK_LMENU, VK_RMENU
        case 0xA5:
            return 18;
        default:
            return virtualKey > 0 && virtualKey < 0xFF ? static_cast<int>(virtualKey) : 0;
    }
}

int ShiftState(bool shift, bool ctrl, bool alt) {
    return (shift ? kShift : 0) | (ctrl ? kCtrl : 0) | (alt ? kAlt : 0);
}

KeyRoute RouteKeyDown(Form& form, Control* focused, int keyCode, int shift,
                      const std::function<void()>& afterEach) {
    const bool windowsOwn = form.OnKeyDown(keyCode, shift);
    afterEach();
    // A closed form's controls get nothing more, nor does a control get the window's command.
    if (windowsOwn || form.unloaded) return KeyRoute::Handled;
    if (focused) {
        form.OnControlKeyDown(*focused, keyCode, shift);
        afterEach();
        if (form.unloaded) return KeyRoute::Handled;
    }
    return KeyRoute::ToControl;
}

KeyRoute RouteKeyUp(Form& form, int keyCode, int shift, const std::function<void()>& afterEach) {
    form.OnKeyUp(keyCode, shift);
    afterEach();
    return form.unloaded ? KeyRoute::Handled : KeyRoute::ToControl;
}

int NextTabStop(const std::vector<TabStop>& stops, int current, bool backwards) {
    std::vector<int> chain;
    for (int i = 0; i < static_cast<int>(stops.size()); ++i)
        if (stops[i].tabIndex >= 0) chain.push_back(i);
    std::stable_sort(chain.begin(), chain.end(),
                     [&](int a, int b) { return stops[a].tabIndex < stops[b].tabIndex; });
    const int n = static_cast<int>(chain.size());
    if (n == 0) return -1;
    const auto at = std::find(chain.begin(), chain.end(), current);
    // Without a current stop, Tab starts at the first and Shift+Tab at the last.
    int pos = at == chain.end() ? (backwards ? 0 : n - 1) : static_cast<int>(at - chain.begin());
    for (int step = 0; step < n; ++step) {
        pos = (pos + (backwards ? n - 1 : 1)) % n;
        if (stops[chain[pos]].canFocus) return chain[pos];
    }
    return -1;
}

}  // namespace kolvik::win32
