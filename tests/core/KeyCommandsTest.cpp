// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's key commands: which key and shift state does what.
#include <gtest/gtest.h>

#include <filesystem>

#include "Version.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

using test::TestWindow;

const char* const kRemoveQuestion =
    "U staat op het punt de toevoeging van\r\nKolvik aan het Windows-register te verwijderen !";

const char* const kKolKey = "HKEY_CLASSES_ROOT\\.kol\\";

constexpr int F1 = 112, R = 82, U = 85, D = 68;
constexpr int Shift = 1, Ctrl = 2, Alt = 4;

TEST(KeyCommands, DoWhatTheirKeyAndShiftStateAskFor) {
    const struct {
        const char* what;
        int key, shift;
        const char* ctx;      // RegContextMenu
        bool registered;      // in the store; the window's flag holds the opposite until read
        const char* window;   // caption of the window shown modally, or ""
        const char* message;  // text of the message shown, or ""
        bool own;             // kept from the focused control
        bool busy = false;    // a run is going on
    } cases[] = {
        {"F1", F1, 0, "", false, "Help", "", true},
        {"Shift+F1", F1, Shift, "", false, "", "", false},
        {"Ctrl+R, nothing registered", R, Ctrl, "", false, "Kolvik registreren", "", true},
        {"Ctrl+R, context menu nee", R, Ctrl, "nee", true, "Kolvik registreren", "", true},
        {"Ctrl+R, context menu ja", R, Ctrl, "ja", true, "", "Kolvik is al geregistreerd.", true},
        {"Ctrl+Shift+R", R, Ctrl | Shift, "", false, "", "", false},
        {"Ctrl+U, registered, Cancel", U, Ctrl, "ja", true, "", kRemoveQuestion, true},
        {"Ctrl+U, not registered", U, Ctrl, "ja", false, "", "", true},
        {"Ctrl+Alt+U", U, Ctrl | Alt, "ja", true, "", "", false},
        {"Ctrl+D", D, Ctrl, "ja", true, "", "", false},
        {"Escape", 27, 0, "ja", true, "", "", false},
        // A modal window would stand a run still and keep Exit from being pressed; the key
        // still goes no further. Ctrl+U asks first and stops the run on OK.
        {"F1 during a run", F1, 0, "", false, "", "", true, true},
        {"Ctrl+R during a run", R, Ctrl, "", false, "", "", true, true},
        {"Ctrl+U during a run, Cancel", U, Ctrl, "ja", true, "", kRemoveQuestion, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestWindow w;
        w->session.RegContextMenu = c.ctx;
        // Registered or removed by another Kolvik after this window opened: only Ctrl+U asks.
        w->session.KolRegisterd = !c.registered;
        if (c.registered) w.registry.values[kKolKey] = w->ProgId();
        w->RunBusy = c.busy;
        w.dialogs.answers = {MsgAnswer::Cancel};
        // The main window knows the registration dialog only while it is shown.
        w.dialogs.onShowModal = [&](Form& f) {
            EXPECT_EQ(w->registrationDialog == &f, f.caption == "Kolvik registreren");
        };
        EXPECT_EQ(w->OnKeyDown(c.key, c.shift), c.own);
        EXPECT_EQ(w.dialogs.modalForms, std::vector<std::string>(*c.window ? 1 : 0, c.window));
        ASSERT_EQ(w.dialogs.shown.size(), *c.message ? 1u : 0u);
        for (const auto& shown : w.dialogs.shown) EXPECT_EQ(shown.text, c.message);
        EXPECT_FALSE(w->unloaded);
        EXPECT_EQ(w->registrationDialog, nullptr);
    }
}

// Confirmed, it removes the integration and closes the program; during a run it stops the run.
TEST(KeyCommandsCtrlU, ConfirmedDuringARunRemovesTheIntegrationAndStopsWithNothingLost) {
    test::TempDir tree;
    const std::string big(3 << 20, 'x');  // three blocks, so the run yields inside it
    test::WriteFile(tree / "a.txt", big);
    test::WriteFile(tree / "b.txt", "bravo");
    TestWindow w("/nonexistent/kolvik", tree.path());
    w.registry.values[kKolKey] = "kolvik" KOLVIK_VERSION;
    w.registry.values["HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Checksum\\"] = "0A1B2C";
    w->Form_Load();  // the build's version and the registration read from the store
    w.dialogs.answers = {MsgAnswer::OK};
    w.screen.onYield = [&] {
        if (!w->unloaded) w->OnKeyDown(U, Ctrl);
    };
    w->txtPassword_1.text = w->txtPassword_2.text = "pw";
    w->OnClick(w->cmdEncrypt);
    w->OnClick(w->cmdGoEncrypt);
    EXPECT_TRUE(w->unloaded);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_TRUE(w.registry.values.empty());
    EXPECT_FALSE(w->session.KolRegisterd) << "checked again after the removal";
    // The file in work stays as it was, and the run went no further.
    EXPECT_EQ(test::ReadFile(tree / "a.txt"), big);
    EXPECT_EQ(test::ReadFile(tree / "b.txt"), "bravo");
    EXPECT_FALSE(std::filesystem::exists(tree / "a_txt.kol"));
}

}  // namespace
}  // namespace kolvik
