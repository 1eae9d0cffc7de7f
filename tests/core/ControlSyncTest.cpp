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
    bool fitText;
    bool all;
    std::function<void(Control&)> change;
    const char* expected;
};

TEST(ControlSync, PushesWhatChangedAndWhatTheKindShows) {
    using K = ControlKind;
    const auto none = [](Control&) {};
    const Row rows[] = {
        {"unchanged", K::Label, true, false, none, ""},
        {"left", K::Button, false, false, [](Control& c) { c.place.left++; }, "place"},
        {"top", K::Button, false, false, [](Control& c) { c.place.top++; }, "place"},
        {"width", K::Button, false, false, [](Control& c) { c.place.width++; }, "place"},
        {"height", K::Button, false, false, [](Control& c) { c.place.height++; }, "place"},
        {"label text", K::Label, false, false, [](Control& c) { c.text = "b"; }, "text"},
        {"button text", K::Button, true, false, [](Control& c) { c.text = "b"; }, "text"},
        {"check box text", K::CheckBox, false, false, [](Control& c) { c.text = "b"; }, ""},
        {"picture text", K::Picture, false, false, [](Control& c) { c.text = "b"; }, ""},
        // a fitted label: text, place and font change how much room its text takes
        {"fitted text", K::Label, true, false, [](Control& c) { c.text = "b"; }, "text refit"},
        {"fitted place", K::Label, true, false, [](Control& c) { c.place.height--; },
         "place refit"},
        {"fitted bold", K::Label, true, false, [](Control& c) { c.bold = true; }, "font refit"},
        {"fitted face", K::Label, true, false, [](Control& c) { c.face = FontFace::Script; },
         "font refit"},
        {"fitted colour", K::Label, true, false,
         [](Control& c) {
             c.foreColor = Rgb{1, 2, 3};
         },
         "colors"},
        {"back colour", K::Button, false, false, [](Control& c) { c.backColor = Rgb{}; }, "colors"},
        {"colour removed", K::Button, false, false, [](Control& c) { c.foreColor.reset(); },
         "colors"},
        {"picture", K::Picture, false, false, [](Control& c) { c.picture = "b"; }, "picture"},
        {"button picture", K::Button, false, false, [](Control& c) { c.picture = ""; }, "picture"},
        {"label picture", K::Label, false, false, [](Control& c) { c.picture = "b"; }, ""},
        {"checked", K::CheckBox, false, false, [](Control& c) { c.value = 1; }, "value"},
        {"button value", K::Button, false, false, [](Control& c) { c.value = 1; }, ""},
        {"line width", K::Line, false, false, [](Control& c) { c.lineWidth = 2; }, "line"},
        {"label line width", K::Label, false, false, [](Control& c) { c.lineWidth = 2; }, ""},
        {"tooltip", K::Line, false, false, [](Control& c) { c.tooltip = "t"; }, "tooltip"},
        {"disabled", K::TextBox, false, false, [](Control& c) { c.enabled = false; }, "enabled"},
        {"hidden", K::Picture, false, false, [](Control& c) { c.visible = false; }, "visible"},
        {"typed over", K::TextBox, false, false, [](Control& c) { c.text = "b"; }, "text"},
        // the first sync pushes everything the kind shows
        {"first label", K::Label, true, true, none,
         "place text tooltip font colors enabled visible refit"},
        {"first check box", K::CheckBox, false, true, none,
         "place value tooltip font colors enabled visible"},
        {"first picture", K::Picture, false, true, none,
         "place picture tooltip font colors enabled visible"},
        {"first line", K::Line, false, true, none,
         "place line tooltip font colors enabled visible"},
        // but never the same text into a text box: its cursor would jump
        {"first text box", K::TextBox, false, true, none,
         "place tooltip font colors enabled visible"},
        {"first text box, other text", K::TextBox, false, true, [](Control& c) { c.text = "b"; },
         "place text tooltip font colors enabled visible"},
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
