// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 views' arithmetic, without a window: twips at a DPI, key codes, the order of key
// handling and the tab chain. Expected pixels are twips * dpi / 1440, worked by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win32/Layout.h"

namespace kolvik::win32 {
namespace {

TEST(Win32Layout, TwipsAtADpi) {
    struct Row {
        int twips, dpi, pixels;
    } const rows[] = {
        {7, 96, 0},       {8, 96, 1},        // 0.47 and 0.53
        {5835, 96, 389},  {5835, 144, 584},  // 583.5 rounds up
        {5835, 120, 486}, {-15, 96, -1},     // 486.25
    };
    for (const Row& r : rows)
        EXPECT_EQ(TwipsToPixels(r.twips, r.dpi), r.pixels) << r.twips << " at " << r.dpi;
}

TEST(Win32Layout, ControlsThatTouchInTwipsTouchOnScreen) {
    // txtPassword_1 (1800, 240, 2895, 375): its right edge 4695 twips is 313 px at 96 dpi and
    // 469.5 -> 470 at 144.
    const Twips box{1800, 240, 2895, 375};
    EXPECT_EQ(ControlRect(box, 96), (PixelRect{120, 16, 313, 41}));
    EXPECT_EQ(ControlRect(box, 144), (PixelRect{180, 24, 470, 62}));
    // cmdEncrypt ends at 4695 twips too and must meet the next edge exactly; at 150 dpi its
    // rounded left and size (413 + 77) would overshoot that edge (489.06 -> 489).
    for (int dpi : {96, 120, 144, 150, 168}) {
        const PixelRect a = ControlRect({3960, 1200, 735, 375}, dpi);
        const PixelRect b = ControlRect({4695, 1200, 105, 375}, dpi);
        EXPECT_EQ(a.right, b.left) << dpi;
    }
}

TEST(Win32Layout, LinesFontsAndPictures) {
    // Line7 of the main window: (150, 3150) to (5550, 3150), 2 wide.
    const Control line = Control::Line("Line7", 150, 3150, 5550, 3150, 2);
    EXPECT_EQ(LineAt(line, 96), (LinePixels{10, 210, 370, 210, 2}));
    EXPECT_EQ(LineAt(line, 144), (LinePixels{15, 315, 555, 315, 3}));
    // 8.25 points: 11 px at 96 dpi, 16.5 -> 17 at 144.
    EXPECT_EQ(FontHeight(8.25, 96), -11);
    EXPECT_EQ(FontHeight(8.25, 144), -17);
    EXPECT_EQ(ScaleFrom96(51, 144), 77);  // 76.5
    EXPECT_EQ(ScaleFrom96(0, 96), 1);
}

TEST(Win32Layout, KeyCodesAndShiftState) {
    struct Row {
        unsigned vk;
        int code;
    } const rows[] = {{0x70, 112}, {0x52, 82}, {0x55, 85}, {0x1B, 27}, {0xA1, 16}, {0xA2, 17},
                      {0xA5, 18},  {0x14, 20}, {0, 0},     {0xFF, 0},  {0x152, 0}};
    for (const Row& r : rows) EXPECT_EQ(ModelKeyCode(r.vk), r.code) << std::hex << r.vk;
    EXPECT_EQ(ShiftState(true, true, false), 3);
    EXPECT_EQ(ShiftState(false, true, true), 6);  // AltGr: never Ctrl alone
}

// A form that records which handler saw a key, and in what order.
class KeyForm : public Form {
  public:
    enum Act { Passes, Takes, ClosesInWindow, ClosesInControl } act = Passes;
    Control box{"txt", ControlKind::TextBox, "", {0, 0, 100, 100}, 0};
    std::vector<std::string> seen;

    std::vector<Control*> Controls() override { return {&box}; }
    bool OnKeyDown(int code, int) override {
        seen.push_back("window " + std::to_string(code));
        if (act == ClosesInWindow) Unload();
        return act == Takes;
    }
    void OnControlKeyDown(Control& c, int code, int) override {
        seen.push_back(c.name + " " + std::to_string(code));
        if (act == ClosesInControl) Unload();
    }
    void OnKeyUp(int code, int) override { seen.push_back("up " + std::to_string(code)); }
};

TEST(Win32Layout, TheWindowSeesAKeyBeforeItsControl) {
    using enum KeyForm::Act;
    // The view mirrors the model after every handler it calls: one sync per line in seen.
    struct Row {
        const char* what;
        KeyForm::Act act;
        bool focused;
        std::vector<std::string> seen;
        KeyRoute route;
    } const rows[] = {
        {"the window's command", Takes, true, {"window 112"}, KeyRoute::Handled},
        {"an ordinary key", Passes, true, {"window 112", "txt 112"}, KeyRoute::ToControl},
        {"the form itself focused", Passes, false, {"window 112"}, KeyRoute::ToControl},
        {"closed by the window", ClosesInWindow, true, {"window 112"}, KeyRoute::Handled},
        {"closed by its box", ClosesInControl, true, {"window 112", "txt 112"}, KeyRoute::Handled},
    };
    for (const Row& r : rows) {
        KeyForm form;
        form.act = r.act;
        std::size_t syncs = 0;
        const KeyRoute route =
            RouteKeyDown(form, r.focused ? &form.box : nullptr, kKeyF1, 0, [&] { ++syncs; });
        EXPECT_EQ(form.seen, r.seen) << r.what;
        EXPECT_EQ(syncs, r.seen.size()) << r.what;
        EXPECT_EQ(route, r.route) << r.what;
    }
    KeyForm form;
    int syncs = 0;
    EXPECT_EQ(RouteKeyUp(form, 20, 0, [&] { ++syncs; }), KeyRoute::ToControl);
    EXPECT_EQ(form.seen, std::vector<std::string>{"up 20"});
    EXPECT_EQ(syncs, 1);
}

TEST(Win32Layout, TabChain) {
    // The main window's chain by position in its control list; tab indexes as laid out:
    // txtPassword_1 0, txtPassword_2 1, cmdGoEncrypt 2, cmdEncrypt 3, cmdExit 4,
    // cmdGoDecrypt 5, cmdDecrypt 6, chkLoggen 7, and a label that takes no focus.
    std::vector<TabStop> stops = {{0, true}, {1, true}, {4, true},  {2, false}, {5, false},
                                  {3, true}, {6, true}, {-1, true}, {7, true}};
    struct Row {
        int from;
        bool backwards;
        int to;
    } const rows[] = {
        {0, false, 1}, {1, false, 5},  // past the disabled cmdGoEncrypt to cmdEncrypt
        {5, false, 2}, {2, false, 6},  // past the hidden cmdGoDecrypt
        {8, false, 0},                 // round to the first
        {0, true, 8},  {5, true, 1},  {-1, false, 0}, {-1, true, 8},
    };
    for (const Row& r : rows)
        EXPECT_EQ(NextTabStop(stops, r.from, r.backwards), r.to) << r.from << r.backwards;
    for (TabStop& s : stops) s.canFocus = false;
    EXPECT_EQ(NextTabStop(stops, 0, false), -1);
}

}  // namespace
}  // namespace kolvik::win32
