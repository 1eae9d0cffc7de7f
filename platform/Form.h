// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window as plain data: its controls and their state. The views copy this state into
// widgets after every handler and at every yield, and route widget events back here.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kolvik {

enum class ControlKind { Label, TextBox, Button, CheckBox, Picture, Line };

struct Twips {
    int left = 0, top = 0, width = 0, height = 0;
};

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

enum class FontFace { Normal, Script };
enum class MousePointer { Default, Hourglass, QuestionArrow };

struct Control {
    std::string name;
    ControlKind kind = ControlKind::Label;
    std::string text;   // caption of a label, button or window; contents of a text box
    Twips place;        // for a Line: left/top is one end, width/height hold the other end's x/y
    int tabIndex = -1;  // -1: takes no focus
    bool enabled = true;
    bool visible = true;
    std::string tooltip;
    int value = 0;  // check box: 0 unchecked, 1 checked
    bool passwordChar = false;
    bool bold = false;
    FontFace face = FontFace::Normal;
    std::optional<Rgb> foreColor;
    std::optional<Rgb> backColor;
    int lineWidth = 1;
    std::string picture;  // resource name of a picture control or button picture
    // A label whose wrapped text would be cut off at the bottom gets a smaller font instead:
    // the layout was drawn for a narrower face than the desktop may have.
    bool fitText = false;

    Control() = default;
    Control(std::string n, ControlKind k, std::string t, Twips p, int tab = -1)
        : name(std::move(n)), kind(k), text(std::move(t)), place(p), tabIndex(tab) {}
    static Control Line(std::string n, int x1, int y1, int x2, int y2, int width) {
        Control c(std::move(n), ControlKind::Line, "", {x1, y1, x2, y2});
        c.lineWidth = width;
        return c;
    }
};

// Shift state bits of key events, as the window system reports them.
constexpr int kShift = 1, kCtrl = 2, kAlt = 4;
// Key codes used by the handlers.
constexpr int kKeyEscape = 27, kKeyF1 = 112, kKeyR = 82, kKeyU = 85;

class Form {
  public:
    virtual ~Form() = default;
    std::string caption;
    int clientWidth = 0, clientHeight = 0;  // twips
    std::optional<Rgb> backColor;
    std::string focus;  // name of the control that has the focus
    MousePointer pointer = MousePointer::Default;
    bool unloaded = false;
    // Set by a handler that needs its window on screen at once, before the view would show
    // it: a message box then stands over the window instead of alone.
    bool shown = false;

    virtual std::vector<Control*> Controls() = 0;

    // Events routed from the view; each form dispatches them to its named handlers.
    virtual void OnClick(Control&) {}
    // The window sees a key before its focused control does. True when the key was one of
    // the window's own commands: the control then does not get it, so that a text box
    // cannot act on it as well (Ctrl+U would empty it).
    virtual bool OnKeyDown(int /*keyCode*/, int /*shift*/) { return false; }
    virtual void OnControlKeyDown(Control&, int /*keyCode*/, int /*shift*/) {}
    virtual void OnKeyUp(int /*keyCode*/, int /*shift*/) {}
    virtual void OnResize() {}
    virtual void OnMouseDown(Control*) {}
    virtual void OnMouseMove(Control*) {}

    void SetFocus(const Control& c) { focus = c.name; }
    void Show() { shown = true; }
    void Unload() { unloaded = true; }
};

}  // namespace kolvik
