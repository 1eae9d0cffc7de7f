// The registration dialog, the help window and the PIN notice, driven through their handlers.
#include <gtest/gtest.h>

#include <filesystem>

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

// A home with the store and a program folder holding the window program to install.
struct Install {
    TempDir dir;
    std::string home = dir / "home";
    std::string program = dir / "opt";
    Install() {
        fs::create_directories(home);
        fs::create_directories(program);
        WriteFile(program + "/kolvik", "#!/bin/sh\n");
    }
    std::string store() const { return home + "/.config/kolvik/registry.reg"; }
};

void Register(ShellSession& s, const char* kolExt, const char* ctx) {
    s->FindSystemFolders();
    s->RegKolExtension = kolExt;
    s->RegContextMenu = ctx;
    s->REG_Create();
}

struct LoadCase {
    const char *kolExt, *ctx;
    int extBox, ctxBox;
    bool okEnabled, removalShown;
};

class RegistrationLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(RegistrationLoad, SetsTheBoxesThroughTheirHandlers) {
    const LoadCase c = GetParam();
    TestWindow w;
    w->RegKolExtension = c.kolExt;
    w->RegContextMenu = c.ctx;
    frmRegistreren d(*w.form);
    d.Form_Load();
    EXPECT_EQ(d.chkKolExtension.value, c.extBox);
    EXPECT_EQ(d.chkContextMenu.value, c.ctxBox);
    EXPECT_EQ(d.cmdOK.enabled, c.okEnabled);
    EXPECT_EQ(d.lblRemoveFromRegister.visible, c.removalShown);
    EXPECT_FALSE(d.Busy);
    EXPECT_EQ(d.focus, c.okEnabled ? "cmdOK" : "cmdCancel");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RegistrationLoad,
    testing::Values(LoadCase{"ja", "ja", 1, 1, false, false},
                    LoadCase{"nee", "nee", 0, 0, true, true},
                    // The context menu needs the association: its handler checks that box too.
                    LoadCase{"nee", "ja", 1, 1, false, false}, LoadCase{"", "", 1, 1, true, false},
                    // Only "nee" unchecks and only "ja" disables OK; JA is neither.
                    LoadCase{"JA", "nee", 1, 0, true, false},
                    LoadCase{"nee", "JA", 1, 1, true, false}));

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
        TestWindow w;
        w->RegKolExtension = c.kolExt;
        w->RegContextMenu = c.ctx;
        frmRegistreren d(*w.form);
        d.Form_Load();
        Control& box = c.clickContextMenu ? d.chkContextMenu : d.chkKolExtension;
        box.value = 1 - box.value;  // as the check box widget does before its click
        d.OnClick(box);
        const std::string label = std::string(c.kolExt) + (c.clickContextMenu ? " ctx" : " ext");
        EXPECT_EQ(d.chkKolExtension.value, c.ext) << label;
        EXPECT_EQ(d.chkContextMenu.value, c.ctxAfter) << label;
        EXPECT_EQ(d.lblRemoveFromRegister.visible, c.removalShown) << label;
        EXPECT_FALSE(d.Busy) << label;  // else the next click would be swallowed
    }
}

TEST(RegistrationOK, WithOnlyTheAssociationRegistersItAndCloses) {
    Install in;
    ShellSession s(in.home, in.program);
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

TEST(RegistrationOK, WithBothOffAsksAndRemovesOnlyOnOK) {
    for (const MsgAnswer answer : {MsgAnswer::Cancel, MsgAnswer::OK}) {
        const bool removes = answer == MsgAnswer::OK;
        TestWindow w;
        w->RegKolExtension = w->RegContextMenu = "nee";
        w.registry.values[kKolKey] = "kolvik10.0.2";
        w.dialogs.answers = {answer};
        frmRegistreren d(*w.form);
        w->registrationDialog = &d;
        d.Form_Load();
        d.OnClick(d.cmdOK);
        ASSERT_EQ(w.dialogs.shown.size(), 1u);
        EXPECT_EQ(w.dialogs.shown[0].text, kRemoval);
        EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
        EXPECT_EQ(d.unloaded, removes);
        EXPECT_EQ(w->unloaded, removes);
        EXPECT_EQ(w.registry.values.count(kKolKey), removes ? 0u : 1u);
        EXPECT_EQ(w->RegKolExtension, "nee");
        EXPECT_EQ(w->RegContextMenu, "nee");
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
        TestWindow w;
        w->RegContextMenu = c.ctx;
        std::string text;
        w.dialogs.onShowModal = [&](Form& f) {
            text = dynamic_cast<frmTooltip&>(f).lblTooltip.text;
        };
        frmRegistreren d(*w.form);
        d.Form_Load();
        for (Control* ctl : d.Controls())
            if (ctl->name == c.control) d.OnMouseDown(ctl);
        const std::string label = std::string(c.ctx) + " " + c.control;
        EXPECT_EQ(w.dialogs.modalForms.size(), c.shown ? 1u : 0u) << label;
        if (c.shown) {
            EXPECT_EQ(text.rfind("NB!   U werkt in dit geval met een PIN-code.\r\nDeze ", 0), 0u);
            EXPECT_TRUE(
                text.ends_with("\r\nweer verwijderd worden door Kolvik te de-registreren."));
        }
    }
}

TEST(RegistrationPointer, IsTheQuestionArrowOverTheClickAreaOnly) {
    TestWindow w;
    frmRegistreren d(*w.form);
    d.Form_Load();
    d.OnMouseMove(&d.lblToolTipActivate);
    EXPECT_EQ(d.pointer, MousePointer::QuestionArrow);
    d.OnMouseMove(&d.lblContextMenu);  // a neighbour keeps what the pointer is
    EXPECT_EQ(d.pointer, MousePointer::QuestionArrow);
    d.OnMouseMove(nullptr);
    EXPECT_EQ(d.pointer, MousePointer::Default);
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
        Install in;
        ShellSession s(in.home, in.program);
        if (c.registerFirst) Register(s, "ja", "nee");
        if (c.kolValue) s.registry.RegWrite(kKolKey, c.kolValue);
        s->KolRegisterd = !c.registered;  // the load must read the store afresh
        frmHelp h(*s.form);
        h.Form_Load();
        EXPECT_EQ(h.imQuestionmark.tooltip, c.tooltip) << c.what;
        EXPECT_EQ(s->KolRegisterd, c.registered) << c.what;
    }
}

TEST(HelpRemoval, CancelLeavesTheStoreByteForByteAndOKRemoves) {
    for (const MsgAnswer answer : {MsgAnswer::Cancel, MsgAnswer::OK}) {
        Install in;
        ShellSession s(in.home, in.program);
        Register(s, "ja", "ja");
        const std::string before = ReadFile(in.store());
        s.dialogs.answers = {answer};
        frmHelp h(*s.form);
        h.Form_Load();
        h.OnClick(h.lblDERegistreren);
        ASSERT_EQ(s.dialogs.shown.size(), 1u);
        EXPECT_EQ(s.dialogs.shown[0].text, kRemoval);
        EXPECT_EQ(s.dialogs.shown[0].buttons, MsgButtons::OKCancel);
        const bool removes = answer == MsgAnswer::OK;
        EXPECT_EQ(h.unloaded, removes);
        EXPECT_EQ(s->unloaded, removes);
        if (removes) {
            EXPECT_EQ(s.registry.RegRead(kKolKey), std::nullopt);
        } else {
            EXPECT_EQ(ReadFile(in.store()), before);
        }
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
    const struct {
        const char* events;  // m: move over the text, f: move over the frame, p/P: press on
                             // the text / the window, c: click on the text
        int closesAt;        // index of the event that closes; -1: stays open
    } cases[] = {{"m", -1}, {"mm", 1}, {"fmf", -1}, {"fmfm", 3},
                 {"p", 0},  {"P", 0},  {"c", 0},    {"mP", 1}};
    for (const auto& c : cases) {
        frmTooltip t;
        t.Form_Load();
        int closedAt = -1;
        for (int i = 0; c.events[i] && closedAt < 0; ++i) {
            switch (c.events[i]) {
                case 'm':
                    t.OnMouseMove(&t.lblTooltip);
                    break;
                case 'f':
                    t.OnMouseMove(nullptr);
                    break;
                case 'p':
                    t.OnMouseDown(&t.lblTooltip);
                    break;
                case 'P':
                    t.OnMouseDown(nullptr);
                    break;
                case 'c':
                    t.OnClick(t.lblTooltip);
                    break;
            }
            if (t.unloaded) closedAt = i;
        }
        EXPECT_EQ(closedAt, c.closesAt) << c.events;
    }
}

}  // namespace
}  // namespace kolvik::test
