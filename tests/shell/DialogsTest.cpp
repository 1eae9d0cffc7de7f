// The registration dialog, the help window and the PIN notice, driven through their handlers.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "ShellSession.h"
#include "shell/frmHelp.h"
#include "shell/frmRegistreren.h"
#include "shell/frmTooltip.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

const char* const kRemoval =
    "Kolvik wordt uit het Windows-register verwijderd.\r\nHierna wordt het programma afgesloten.";
const char* const kKolKey = "HKEY_CLASSES_ROOT\\.kol\\";

std::string Made(const std::string& folder) {
    fs::create_directories(folder);
    return folder;
}

// A session on the real store in a test home, with a window program to install.
struct Installed {
    TempDir dir;
    std::string home = Made(dir / "home"), program = Made(dir / "opt");
    ShellSession s{home, program};
    Installed() { WriteFile(program + "/kolvik", "#!/bin/sh\n"); }
    std::string store() const { return home + "/.config/kolvik/registry.reg"; }
    void Register(const char* kolExt, const char* ctx) {
        s->FindSystemFolders();
        s->RegKolExtension = kolExt;
        s->RegContextMenu = ctx;
        s->REG_Create();
    }
};

// The dialog loaded over a main window whose fields say what is registered.
struct Loaded {
    TestWindow w;
    frmRegistreren d{*w.form};
    Loaded(const char* kolExt, const char* ctx) {
        w->RegKolExtension = kolExt;
        w->RegContextMenu = ctx;
        d.Form_Load();
    }
};

TEST(RegistrationLoad, SetsTheBoxesThroughTheirHandlers) {
    const struct {
        const char *kolExt, *ctx;
        int extBox, ctxBox;
        bool okEnabled, removalShown;
    } cases[] = {
        {"ja", "ja", 1, 1, false, false},
        {"nee", "nee", 0, 0, true, true},
        // The context menu needs the association: its handler checks that box too.
        {"nee", "ja", 1, 1, false, false},
        {"", "", 1, 1, true, false},
        // Only "nee" unchecks and only "ja" disables OK; JA is neither.
        {"JA", "nee", 1, 0, true, false},
        {"nee", "JA", 1, 1, true, false},
    };
    for (const auto& c : cases) {
        Loaded l(c.kolExt, c.ctx);
        SCOPED_TRACE(std::string(c.kolExt) + "/" + c.ctx);
        EXPECT_EQ(l.d.chkKolExtension.value, c.extBox);
        EXPECT_EQ(l.d.chkContextMenu.value, c.ctxBox);
        EXPECT_EQ(l.d.cmdOK.enabled, c.okEnabled);
        EXPECT_EQ(l.d.lblRemoveFromRegister.visible, c.removalShown);
        EXPECT_FALSE(l.d.Busy);
        EXPECT_EQ(l.d.focus, c.okEnabled ? "cmdOK" : "cmdCancel");
    }
}

TEST(RegistrationBoxes, KeepTheContextMenuWithinTheAssociation) {
    const struct {
        const char *kolExt, *ctx;  // fields at load
        bool clickContextMenu;     // else the association box
        int ext, ctxAfter;
        bool removalShown;
    } cases[] = {
        {"ja", "ja", false, 0, 0, true},     // association off takes the context menu along
        {"nee", "nee", true, 1, 1, false},   // context menu on brings the association
        {"ja", "ja", true, 1, 0, false},     // context menu off leaves the association
        {"nee", "nee", false, 1, 0, false},  // association on leaves the context menu off
    };
    for (const auto& c : cases) {
        Loaded l(c.kolExt, c.ctx);
        Control& box = c.clickContextMenu ? l.d.chkContextMenu : l.d.chkKolExtension;
        box.value = 1 - box.value;  // as the check box widget does before its click
        l.d.OnClick(box);
        SCOPED_TRACE(std::string(c.kolExt) + (c.clickContextMenu ? " ctx" : " ext"));
        EXPECT_EQ(l.d.chkKolExtension.value, c.ext);
        EXPECT_EQ(l.d.chkContextMenu.value, c.ctxAfter);
        EXPECT_EQ(l.d.lblRemoveFromRegister.visible, c.removalShown);
        EXPECT_FALSE(l.d.Busy);  // else the next click would be swallowed
    }
}

TEST(RegistrationOK, WithOnlyTheAssociationRegistersItAndCloses) {
    Installed in;
    ShellSession& s = in.s;
    s->FindSystemFolders();
    bool knownWhileShown = false;
    s.dialogs.onShowModal = [&](Form& f) {
        auto& d = dynamic_cast<frmRegistreren&>(f);
        knownWhileShown = s->registrationDialog == &d;
        d.chkContextMenu.value = 0;
        d.OnClick(d.chkContextMenu);
        d.OnClick(d.cmdOK);
        EXPECT_TRUE(d.unloaded);
    };
    frmRegistreren::ShowModal(*s.form);
    EXPECT_EQ(s.dialogs.modalForms, std::vector<std::string>{"Kolvik registreren"});
    EXPECT_TRUE(knownWhileShown);
    EXPECT_EQ(s->registrationDialog, nullptr);
    EXPECT_EQ(s->RegKolExtension, "ja");
    EXPECT_EQ(s->RegContextMenu, "nee");
    EXPECT_TRUE(s->KolRegisterd);
    EXPECT_FALSE(s->unloaded);
    EXPECT_EQ(s.registry.RegRead(kKolKey), "kolvik10.0.2");
    EXPECT_EQ(s.registry.RegRead("HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\addtocontext"), "nee");
    EXPECT_EQ(s.registry.RegRead("HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command\\"),
              std::nullopt);
    EXPECT_EQ(s.registry.RegRead("HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\"),
              std::nullopt);
}

// OK in the dialog with both boxes off, and the removal line in the help window, both ask.
TEST(Removal, CancelLeavesTheStoreByteForByteAndOKRemovesAndCloses) {
    for (const bool fromHelp : {false, true}) {
        for (const MsgAnswer answer : {MsgAnswer::Cancel, MsgAnswer::OK}) {
            Installed in;
            ShellSession& s = in.s;
            in.Register("ja", "ja");
            const std::string before = ReadFile(in.store());
            s.dialogs.answers = {answer};
            frmRegistreren d(*s.form);
            frmHelp h(*s.form);
            if (fromHelp) {
                h.Form_Load();
                h.OnClick(h.lblDERegistreren);
            } else {
                s->RegKolExtension = s->RegContextMenu = "nee";
                s->registrationDialog = &d;
                d.Form_Load();
                d.OnClick(d.cmdOK);
            }
            const bool removes = answer == MsgAnswer::OK;
            SCOPED_TRACE(std::string(fromHelp ? "help " : "dialog ") + (removes ? "OK" : "Cancel"));
            ASSERT_EQ(s.dialogs.shown.size(), 1u);
            EXPECT_EQ(s.dialogs.shown[0].text, kRemoval);
            EXPECT_EQ(s.dialogs.shown[0].buttons, MsgButtons::OKCancel);
            EXPECT_EQ(fromHelp ? h.unloaded : d.unloaded, removes);
            EXPECT_EQ(s->unloaded, removes);
            if (removes) {
                EXPECT_EQ(s.registry.RegRead(kKolKey), std::nullopt);
            } else {
                EXPECT_EQ(ReadFile(in.store()), before);
            }
            if (!fromHelp) {
                EXPECT_EQ(s->RegKolExtension, "nee");
                EXPECT_EQ(s->RegContextMenu, "nee");
            }
        }
    }
}

TEST(RegistrationNotice, ShowsOnlyWhileTheContextMenuIsChecked) {
    const struct {
        const char* ctx;
        const char* control;
        bool shown;
    } cases[] = {
        {"ja", "lblContextMenu", true},   {"ja", "lblToolTipActivate", true},
        {"nee", "lblContextMenu", false}, {"nee", "lblToolTipActivate", false},
        {"ja", "lblKolExtension", false},
    };
    for (const auto& c : cases) {
        Loaded l("", c.ctx);
        std::string text;
        l.w.dialogs.onShowModal = [&](Form& f) {
            text = dynamic_cast<frmTooltip&>(f).lblTooltip.text;
        };
        for (Control* ctl : l.d.Controls())
            if (ctl->name == c.control) l.d.OnMouseDown(ctl);
        SCOPED_TRACE(std::string(c.ctx) + " " + c.control);
        EXPECT_EQ(l.w.dialogs.modalForms.size(), c.shown ? 1u : 0u);
        if (c.shown) {
            EXPECT_EQ(text.rfind("NB!   U werkt in dit geval met een PIN-code.\r\nDeze ", 0), 0u);
            EXPECT_TRUE(
                text.ends_with("\r\nweer verwijderd worden door Kolvik te de-registreren."));
        }
    }
}

TEST(RegistrationPointer, IsTheQuestionArrowOverTheClickAreaOnly) {
    Loaded l("", "");
    l.d.OnMouseMove(&l.d.lblToolTipActivate);
    EXPECT_EQ(l.d.pointer, MousePointer::QuestionArrow);
    l.d.OnMouseMove(&l.d.lblContextMenu);  // a neighbour keeps what the pointer is
    EXPECT_EQ(l.d.pointer, MousePointer::QuestionArrow);
    l.d.OnMouseMove(nullptr);
    EXPECT_EQ(l.d.pointer, MousePointer::Default);
}

TEST(EscapeOnOK, ClosesTheDialogAndTheHelpWindowWithoutShiftKeys) {
    const struct {
        int key, shift;
        bool closes;
    } cases[] = {{27, 0, true}, {27, kShift, false}, {27, kCtrl, false}, {13, 0, false}};
    for (const auto& c : cases) {
        TestWindow w;
        frmRegistreren d(*w.form);
        frmHelp h(*w.form);
        d.OnControlKeyDown(d.cmdOK, c.key, c.shift);
        h.OnControlKeyDown(h.cmdOK, c.key, c.shift);
        EXPECT_EQ(d.unloaded, c.closes) << c.key << "/" << c.shift;
        EXPECT_EQ(h.unloaded, c.closes) << c.key << "/" << c.shift;
        d.OnControlKeyDown(d.cmdCancel, kKeyEscape, 0);
        h.OnControlKeyDown(h.lblRegistreren, kKeyEscape, 0);
        EXPECT_EQ(d.unloaded, c.closes) << "Escape elsewhere";
        EXPECT_EQ(h.unloaded, c.closes) << "Escape elsewhere";
    }
}

TEST(HelpLoad, ReadsTheStoreAndSaysWhetherThisVersionIsRegistered) {
    const struct {
        const char* what;
        bool registerFirst;
        const char* kolValue;  // written over HKEY_CLASSES_ROOT\.kol afterwards
        bool registered;
        const char* tooltip;
    } cases[] = {
        {"registered", true, nullptr, true, " deze versie van Kolvik is geregistreerd "},
        {"nothing", false, nullptr, false, " deze versie van Kolvik is NIET geregistreerd "},
        {"another version", true, "kolvik9.0.0", false,
         " deze versie van Kolvik is NIET geregistreerd "},
    };
    for (const auto& c : cases) {
        Installed in;
        if (c.registerFirst) in.Register("ja", "nee");
        if (c.kolValue) in.s.registry.RegWrite(kKolKey, c.kolValue);
        in.s->KolRegisterd = !c.registered;  // the load must read the store afresh
        frmHelp h(*in.s.form);
        h.Form_Load();
        EXPECT_EQ(h.imQuestionmark.tooltip, c.tooltip) << c.what;
        EXPECT_EQ(in.s->KolRegisterd, c.registered) << c.what;
    }
}

TEST(HelpRegister, ClosesTheHelpWindowBeforeTheDialogOpens) {
    TestWindow w;
    frmHelp h(*w.form);
    bool helpClosedFirst = false;
    w.dialogs.onShowModal = [&](Form& f) {
        helpClosedFirst = h.unloaded;
        EXPECT_EQ(w->registrationDialog, &f);
    };
    h.OnClick(h.lblRegistreren);
    EXPECT_EQ(w.dialogs.modalForms, std::vector<std::string>{"Kolvik registreren"});
    EXPECT_TRUE(helpClosedFirst);
}

TEST(Notice, ClosesOnTheSecondMoveOverTheTextOrOnAnyPress) {
    using Event = std::function<void(frmTooltip&)>;
    const std::map<char, Event> events = {
        {'m', [](frmTooltip& t) { t.OnMouseMove(&t.lblTooltip); }},  // move over the text
        {'f', [](frmTooltip& t) { t.OnMouseMove(nullptr); }},        // move over the frame
        {'p', [](frmTooltip& t) { t.OnMouseDown(&t.lblTooltip); }},  // press on the text
        {'P', [](frmTooltip& t) { t.OnMouseDown(nullptr); }},        // press on the window
        {'c', [](frmTooltip& t) { t.OnClick(t.lblTooltip); }},       // click on the text
    };
    const struct {
        const char* events;
        int closesAt;  // index of the event that closes; -1: stays open
    } cases[] = {{"m", -1}, {"mm", 1}, {"fmf", -1}, {"fmfm", 3},
                 {"p", 0},  {"P", 0},  {"c", 0},    {"mP", 1}};
    for (const auto& c : cases) {
        frmTooltip t;
        t.Form_Load();
        int closedAt = -1;
        for (int i = 0; c.events[i] && closedAt < 0; ++i) {
            events.at(c.events[i])(t);
            if (t.unloaded) closedAt = i;
        }
        EXPECT_EQ(closedAt, c.closesAt) << c.events;
    }
}

}  // namespace
}  // namespace kolvik::test
