#pragma once
// A small form of every kind of control that writes down each event it receives, so
// the binder can be tested apart from any real window of the program.
#include <functional>
#include <string>
#include <vector>

#include "platform/Form.h"

namespace kolvik::test {

class ProbeForm : public Form {
  public:
    Control lblText{"lblText", ControlKind::Label, "Klik hier", {150, 150, 1500, 300}};
    Control txtName{"txtName", ControlKind::TextBox, "", {150, 600, 1500, 300}, 1};
    Control cmdOK{"cmdOK", ControlKind::Button, "OK", {1800, 600, 900, 375}, 0};
    Control chkOption{"chkOption", ControlKind::CheckBox, "", {1800, 150, 255, 255}, 2};
    Control imgPicture{"imgPicture", ControlKind::Picture, "", {3000, 150, 240, 240}};
    Control lnFrame = Control::Line("lnFrame", 60, 1200, 4440, 1200, 2);

    std::vector<std::string> events;
    std::function<void(Control&)> onClick;

    ProbeForm() {
        caption = "Proef";
        clientWidth = 4500;
        clientHeight = 1500;
        imgPicture.picture = "block";
    }
    std::vector<Control*> Controls() override {
        return {&lblText, &txtName, &cmdOK, &chkOption, &imgPicture, &lnFrame};
    }
    void OnClick(Control& c) override {
        events.push_back("click:" + c.name +
                         (c.kind == ControlKind::CheckBox ? ":" + std::to_string(c.value) : ""));
        if (onClick) onClick(c);
    }
    void OnKeyDown(int key, int shift) override { events.push_back(Key("keydown", key, shift)); }
    void OnControlKeyDown(Control& c, int key, int shift) override {
        events.push_back(Key("keydown:" + c.name, key, shift));
    }
    void OnKeyUp(int key, int shift) override { events.push_back(Key("keyup", key, shift)); }
    void OnMouseDown(Control* c) override {
        events.push_back("mousedown:" + (c ? c->name : std::string("form")));
    }
    void OnMouseMove(Control* c) override {
        events.push_back("mousemove:" + (c ? c->name : std::string("form")));
    }

  private:
    static std::string Key(const std::string& what, int key, int shift) {
        return what + ":" + std::to_string(key) + ":" + std::to_string(shift);
    }
};

}  // namespace kolvik::test
