// SPDX-License-Identifier: GPL-3.0-or-later
// The change check both view binders push their widgets by, without a window.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/ControlSync.h"

namespace kolvik {
namespace {

std::string Names(const ControlChanges& ch) {
    std::string out;
    const std::pair<bool, const char*> flags[] = {
        {ch.place, "place"},     {ch.text, "text"},      {ch.picture, "picture"},
        {ch.value, "value"},     {ch.lineWidth, "line"}, {ch.tooltip, "tooltip"},
        {ch.font, "font"},       {ch.colors, "colors"},  {ch.enabled, "enabled"},
        {ch.visible, "visible"}, {ch.refit, "refit"},
    };
    for (const auto& [set, name] : flags)
        if (set) out += out.empty() ? name : std::string(" ") + name;
    return out;
}

struct Row {
    const char* what;
    ControlKind kind;
    std::function<void(Control&)> change;
    const char* expected;
    bool fitText = false, all = false;
};

TEST(ControlSync, PushesWhatChangedAndWhatTheKindShows) {
    using K = ControlKind;
    const auto none = [](Control&) {};
    const Row rows[] = {
        {"unchanged", K::Label, none, "", true},
        {"left", K::Button, [](Control& c) { c.place.left++; }, "place"},
        {"top", K::Button, [](Control& c) { c.place.top++; }, "place"},
        {"width", K::Button, [](Control& c) { c.place.width++; }, "place"},
        {"height", K::Button, [](Control& c) { c.place.height++; }, "place"},
        {"label text", K::Label, [](Control& c) { c.text = "b"; }, "text"},
        {"button text", K::Button, [](Control& c) { c.text = "b"; }, "text", true},
        {"check box text", K::CheckBox, [](Control& c) { c.text = "b"; }, ""},
        {"picture text", K::Picture, [](Control& c) { c.text = "b"; }, ""},
        // a fitted label: text, place and font change how much room its text takes
        {"fitted text", K::Label, [](Control& c) { c.text = "b"; }, "text refit", true},
        {"fitted place", K::Label, [](Control& c) { c.place.height--; }, "place refit", true},
        {"fitted bold", K::Label, [](Control& c) { c.bold = true; }, "font refit", true},
        {"fitted face", K::Label, [](Control& c) { c.face = FontFace::Script; }, "font refit",
         true},
        {"fitted colour", K::Label, [](Control& c) { c.foreColor->r = 1; }, "colors", true},
        {"back colour", K::Button, [](Control& c) { c.backColor = Rgb{}; }, "colors"},
        {"colour removed", K::Button, [](Control& c) { c.foreColor.reset(); }, "colors"},
        {"picture", K::Picture, [](Control& c) { c.picture = "b"; }, "picture"},
        {"button picture", K::Button, [](Control& c) { c.picture = ""; }, "picture"},
        {"label picture", K::Label, [](Control& c) { c.picture = "b"; }, ""},
        {"checked", K::CheckBox, [](Control& c) { c.value = 1; }, "value"},
        {"button value", K::Button, [](Control& c) { c.value = 1; }, ""},
        {"line width", K::Line, [](Control& c) { c.lineWidth = 2; }, "line"},
        {"label line width", K::Label, [](Control& c) { c.lineWidth = 2; }, ""},
        {"tooltip", K::Line, [](Control& c) { c.tooltip = "t"; }, "tooltip"},
        {"disabled", K::TextBox, [](Control& c) { c.enabled = false; }, "enabled"},
        {"hidden", K::Picture, [](Control& c) { c.visible = false; }, "visible"},
        {"typed over", K::TextBox, [](Control& c) { c.text = "b"; }, "text"},
        // the first sync pushes everything the kind shows
        {"first label", K::Label, none, "place text tooltip font colors enabled visible refit",
         true, true},
        {"first check box", K::CheckBox, none, "place value tooltip font colors enabled visible",
         false, true},
        {"first picture", K::Picture, none, "place picture tooltip font colors enabled visible",
         false, true},
        {"first line", K::Line, none, "place line tooltip font colors enabled visible", false,
         true},
        // but never the same text into a text box: its cursor would jump
        {"first text box", K::TextBox, none, "place tooltip font colors enabled visible", false,
         true},
        {"first text box, other text", K::TextBox, [](Control& c) { c.text = "b"; },
         "place text tooltip font colors enabled visible", false, true},
    };
    for (const Row& row : rows) {
        Control shown("c", row.kind, "a", {10, 20, 30, 40});
        shown.picture = "p";
        shown.foreColor = Rgb{9, 9, 9};
        shown.fitText = row.fitText;
        Control model = shown;
        row.change(model);
        EXPECT_EQ(Names(TakeChanges(model, shown, row.all)), row.expected) << row.what;
        // What was pushed is what is shown now: pushing again changes nothing.
        EXPECT_EQ(Names(TakeChanges(model, shown, false)), "") << row.what;
    }
}

TEST(ControlSync, FormPushesEverythingFirstThenOnlyChanges) {
    struct Window : Form {
        std::vector<Control*> Controls() override { return {}; }
    } form;
    form.caption = "Kolvik";
    form.clientWidth = 100;
    form.clientHeight = 50;
    FormShown shown;
    const auto names = [&] {
        const FormChanges ch = TakeFormChanges(form, shown);
        return std::string(ch.all ? "all " : "") + (ch.caption ? "caption " : "") +
               (ch.size ? "size " : "") + (ch.pointer ? "pointer" : "");
    };
    EXPECT_EQ(names(), "all caption size pointer");
    EXPECT_EQ(names(), "");
    form.focus = "go";  // the binder's, which may hold it back
    EXPECT_EQ(names(), "");
    form.caption = "Kolvik - bezig";
    EXPECT_EQ(names(), "caption ");
    form.clientHeight = 60;
    EXPECT_EQ(names(), "size ");
    form.clientWidth = 90;
    EXPECT_EQ(names(), "size ");
    form.pointer = MousePointer::Hourglass;
    EXPECT_EQ(names(), "pointer");
    EXPECT_EQ(names(), "");
}

}  // namespace
}  // namespace kolvik
