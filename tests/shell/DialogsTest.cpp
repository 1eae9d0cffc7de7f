// SPDX-License-Identifier: GPL-3.0-or-later
// The registration dialog, the help window and the PIN notice, driven through their handlers.
#include <gtest/gtest.h>

#include "ShellSession.h"
#include "Version.h"
#include "shell/frmHelp.h"
#include "shell/frmRegistreren.h"
#include "shell/frmTooltip.h"

namespace kolvik::test {
namespace {

const char* const kKolKey = "HKEY_CLASSES_ROOT\\.kol\\";

// A label's box that reaches into a button lets its wrapped text touch the button's edge.
TEST(DialogLayout, NoTextLabelReachesIntoAButton) {
    TestWindow w;
    frmRegistreren registration{*w.form};
    frmHelp help{*w.form};
    for (Form* form : std::initializer_list<Form*>{&registration, &help, w.form.get()}) {
        const auto controls = form->Controls();
        for (const Control* label : controls) {
            if (label->kind != ControlKind::Label || label->text.empty()) continue;
            for (const Control* button : controls) {
                if (button->kind != ControlKind::Button) continue;
                const Twips a = label->place, b = button->place;
                const bool apart = a.left + a.width <= b.left || b.left + b.width <= a.left ||
                                   a.top + a.height <= b.top || b.top + b.height <= a.top;
                EXPECT_TRUE(apart) << label->name << " reaches into " << button->name;
            }
        }
    }
}

TEST(RegistrationBoxes, FollowTheFieldsAtLoadKeepTheContextMenuWithinTheAssociationAndExplainIt) {
    const struct {
        const char *kolExt, *ctx;  // fields at load
        char click;                // then a click: 'e' association, 'c' context menu, 0 none
        int ext, ctxBox;
        bool removalShown, okEnabled;
    } cases[] = {
        {"ja", "ja", 0, 1, 1, false, false},
        {"nee", "nee", 0, 0, 0, true, true},
        // The context menu needs the association: its handler checks that box too.
        {"nee", "ja", 0, 1, 1, false, false},
        {"", "", 0, 1, 1, false, true},
        // Only "nee" unchecks and only "ja" disables OK; JA is neither.
        {"JA", "nee", 0, 1, 0, false, true},
        {"nee", "JA", 0, 1, 1, false, true},
        {"ja", "ja", 'e', 0, 0, true, false},    // association off takes the context menu along
        {"nee", "nee", 'c', 1, 1, false, true},  // context menu on brings the association
        {"ja", "ja", 'c', 1, 0, false, false},   // context menu off leaves the association
        {"nee", "nee", 'e', 1, 0, false, true},  // association on leaves the context menu off
        {"JA", "nee", 'e', 0, 0, true, true},    // association off, the context menu already off
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.kolExt) + "/" + c.ctx + " " + (c.click ? c.click : '-'));
        // Loaded over a main window whose fields say what is registered.
        TestWindow w;
        w->session.ChooseRegistration(c.kolExt, c.ctx);
        frmRegistreren d(*w.form);
        d.Form_Load();
        if (c.click) {
            Control& box = c.click == 'c' ? d.chkContextMenu : d.chkKolExtension;
            box.value = 1 - box.value;  // as the check box widget does before its click
            d.OnClick(box);
        }
        EXPECT_EQ(d.chkKolExtension.value, c.ext);
        EXPECT_EQ(d.chkContextMenu.value, c.ctxBox);
        EXPECT_EQ(d.lblRemoveFromRegister.visible, c.removalShown);
        EXPECT_EQ(d.cmdOK.enabled, c.okEnabled);
        EXPECT_EQ(d.focus, c.okEnabled ? "cmdOK" : "cmdCancel");
        EXPECT_FALSE(d.Busy);  // else the next click would be swallowed
        // A press on either context-menu text explains the PIN code, while that box is checked.
        std::vector<std::string> notices;
        w.dialogs.onShowModal = [&](Form& f) {
            notices.push_back(dynamic_cast<frmTooltip&>(f).lblTooltip.text);
        };
        for (Control* label : {&d.lblContextMenu, &d.lblToolTipActivate, &d.lblKolExtension})
            d.OnMouseDown(label);
        EXPECT_EQ(notices.size(), c.ctxBox == 1 ? 2u : 0u);
        for (const std::string& text : notices) {
            EXPECT_TRUE(
                text.starts_with("NB!   U werkt in dit geval met een PIN-code.\r\nDeze ") &&
                text.ends_with("\r\nweer verwijderd worden door Kolvik te de-registreren."));
        }
    }
}

TEST(RegistrationOK, WithOnlyTheAssociationRegistersItAndCloses) {
    Install in;  // a session on the real store in a test home
    ShellSession s(in.home, in.program);
    s->FindSystemFolders();
    s.dialogs.onShowModal = [](Form& f) {
        auto& d = dynamic_cast<frmRegistreren&>(f);
        d.chkContextMenu.value = 0;
        d.OnClick(d.chkContextMenu);
        d.OnClick(d.cmdOK);
        EXPECT_TRUE(d.unloaded);
    };
    frmRegistreren::ShowModal(*s.form);
    EXPECT_TRUE(s->session.KolRegisterd());
    EXPECT_FALSE(s->unloaded);
    EXPECT_EQ(s.registry.RegRead(kKolKey), "kolvik" KOLVIK_VERSION);
    EXPECT_EQ(s.registry.RegRead(kContextMenuValue), "nee");
    for (const char* key : {"HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command\\",
                            "HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\"})
        EXPECT_EQ(s.registry.RegRead(key), std::nullopt) << key;
}

// OK in the dialog with both boxes off, and the removal line in the help window, both ask. OK
// removes every key of ours but one that has a subkey of someone else's, closes the program and
// the registration dialog, whether or not the main window knows it; Cancel changes nothing.
TEST(Removal, CancelLeavesTheStoreByteForByteAndOKRemovesAndCloses) {
    // Options keeps its subkey, and so the ProgID key keeps Options. The shared parents were
    // never ours to remove.
    const std::string ours = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION;
    const std::vector<std::string> kept = {
        "HKEY_CLASSES_ROOT",
        "HKEY_CLASSES_ROOT\\*",
        "HKEY_CLASSES_ROOT\\*\\shell",
        "HKEY_CLASSES_ROOT\\Directory",
        "HKEY_CLASSES_ROOT\\Directory\\shell",
        ours,
        ours + "\\Options",
        ours + "\\Options\\Extra",
    };
    for (const bool fromHelp : {false, true}) {
        for (const bool removes : {false, true}) {
            Install in;
            ShellSession s(in.home, in.program);
            Register(s, "ja", "ja");
            ASSERT_TRUE(s.registry.RegWrite(ours + "\\Options\\Extra\\", "van iemand"));
            const std::string before = ReadFile(in.store());
            s.dialogs.answers = {removes ? MsgAnswer::OK : MsgAnswer::Cancel};
            frmRegistreren d(*s.form);
            frmHelp h(*s.form);
            if (fromHelp) {
                s->registrationDialog = &d;
                h.Form_Load();
                h.OnClick(h.lblDERegistreren);
            } else {
                s->session.ChooseRegistration("nee", "nee");
                d.Form_Load();
                d.OnClick(d.cmdOK);
            }
            SCOPED_TRACE(std::string(fromHelp ? "help " : "dialog ") + (removes ? "OK" : "Cancel"));
            ASSERT_EQ(s.dialogs.Texts(), std::vector<std::string>{
                                             "Kolvik wordt uit het Windows-register verwijderd.\r\n"
                                             "Hierna wordt het programma afgesloten."});
            EXPECT_EQ(s.dialogs.shown[0].buttons, MsgButtons::OKCancel);
            EXPECT_EQ(std::pair(d.unloaded, h.unloaded), std::pair(removes, fromHelp && removes));
            EXPECT_EQ(s->unloaded, removes);
            if (!removes) {
                EXPECT_EQ(ReadFile(in.store()), before) << "Cancel changed the store";
                continue;
            }
            RegTree stored;  // the file as it lies, read with the store's own parser
            ASSERT_TRUE(MergeScript(ReadFile(in.store()), stored, true));
            EXPECT_EQ(stored.KeyPaths(), kept);
            EXPECT_EQ(s.registry.RegRead(kContextMenuValue), "ja");
        }
    }
}

TEST(EscapeOnOK, ClosesTheDialogAndTheHelpWindowWithoutShiftKeys) {
    for (const auto& [key, shift] : {std::pair{27, 0}, {27, kShift}, {13, 0}}) {
        TestWindow w;
        frmRegistreren d(*w.form);
        frmHelp h(*w.form);
        d.OnControlKeyDown(d.cmdCancel, kKeyEscape, 0);  // Escape elsewhere does nothing
        h.OnControlKeyDown(h.lblRegistreren, kKeyEscape, 0);
        d.OnControlKeyDown(d.cmdOK, key, shift);
        h.OnControlKeyDown(h.cmdOK, key, shift);
        EXPECT_EQ(d.unloaded, key == 27 && shift == 0) << key << "/" << shift;
        EXPECT_EQ(h.unloaded, key == 27 && shift == 0) << key << "/" << shift;
    }
}

// The help window reads the store afresh and says whether this version is registered.
TEST(Help, TellsTheRegistrationAndClosesBeforeTheDialogOpens) {
    for (const bool registered : {false, true}) {
        TestWindow w;
        if (registered) w.registry.values["HKEY_CLASSES_ROOT\\.kol\\"] = w->ProgId();
        if (!registered) w->session.NoteRegistered();
        frmHelp h(*w.form);
        h.Form_Load();
        EXPECT_EQ(w->session.KolRegisterd(), registered);
        EXPECT_EQ(h.imQuestionmark.tooltip, registered
                                                ? " deze versie van Kolvik is geregistreerd "
                                                : " deze versie van Kolvik is NIET geregistreerd ");
        bool helpClosedFirst = false;
        w.dialogs.onShowModal = [&](Form&) { helpClosedFirst = h.unloaded; };
        h.OnClick(h.lblRegistreren);
        EXPECT_EQ(w.dialogs.modalForms, std::vector<std::string>{"Kolvik registreren"});
        EXPECT_TRUE(helpClosedFirst);
    }
}

// Events: m move over the text, f move over the frame, p press on the text, P press on the
// window, c click on the text.
TEST(Notice, ClosesOnTheSecondMoveOverTheTextOrOnAnyPress) {
    const struct {
        const char* events;
        int closesAt;  // index of the event that closes; -1: stays open
    } cases[] = {{"m", -1}, {"mm", 1}, {"fmfm", 3}, {"p", 0}, {"P", 0}, {"c", 0}};
    for (const auto& c : cases) {
        frmTooltip t;
        t.Form_Load();
        int closedAt = -1;
        for (int i = 0; c.events[i] && closedAt < 0; ++i) {
            const char e = c.events[i];
            if (e == 'm' || e == 'f')
                t.OnMouseMove(e == 'm' ? &t.lblTooltip : nullptr);
            else if (e == 'p' || e == 'P')
                t.OnMouseDown(e == 'p' ? &t.lblTooltip : nullptr);
            else
                t.OnClick(t.lblTooltip);
            if (t.unloaded) closedAt = i;
        }
        EXPECT_EQ(closedAt, c.closesAt) << c.events;
    }
}

}  // namespace
}  // namespace kolvik::test
