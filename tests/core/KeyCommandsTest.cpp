// The main window's key commands: which key and shift state does what.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

using test::TestWindow;

const char* const kRemoveQuestion =
    "U staat op het punt de toevoeging van\r\nKolvik aan het Windows-register te verwijderen !";

struct KeyCase {
    const char* what;
    int key, shift;
    const char* ctx;      // RegContextMenu
    bool registered;      // KolRegisterd
    const char* window;   // caption of the window shown modally, or ""
    const char* message;  // text of the message shown, or ""
    bool own;             // kept from the focused control
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.what; }

class KeyCommands : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyCommands, DoWhatTheirKeyAndShiftStateAskFor) {
    const KeyCase c = GetParam();
    TestWindow w;
    w->RegContextMenu = c.ctx;
    w->KolRegisterd = c.registered;
    w.dialogs.answers = {MsgAnswer::Cancel};
    EXPECT_EQ(w->OnKeyDown(c.key, c.shift), c.own);
    const std::vector<std::string> windows =
        *c.window ? std::vector<std::string>{c.window} : std::vector<std::string>{};
    EXPECT_EQ(w.dialogs.modalForms, windows);
    ASSERT_EQ(w.dialogs.shown.size(), *c.message ? 1u : 0u);
    if (*c.message) {
        EXPECT_EQ(w.dialogs.shown[0].text, c.message);
    }
    EXPECT_FALSE(w->unloaded);
    EXPECT_EQ(w->registrationDialog, nullptr);
}

constexpr int F1 = 112, R = 82, U = 85, D = 68, K = 75, M = 77, C = 67;
constexpr int Shift = 1, Ctrl = 2, Alt = 4;

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyCommands,
    testing::Values(
        KeyCase{"F1", F1, 0, "", false, "Help", "", true},
        KeyCase{"Shift+F1", F1, Shift, "", false, "", "", false},
        KeyCase{"Alt+F1", F1, Alt, "", false, "", "", false},
        KeyCase{"Ctrl+F1", F1, Ctrl, "", false, "", "", false},
        KeyCase{"Ctrl+R, nothing registered", R, Ctrl, "", false, "Kolvik registreren", "", true},
        KeyCase{"Ctrl+R, context menu nee", R, Ctrl, "nee", true, "Kolvik registreren", "", true},
        KeyCase{"Ctrl+R, context menu ja", R, Ctrl, "ja", true, "", "Kolvik is al geregistreerd.",
                true},
        KeyCase{"Ctrl+Shift+R", R, Ctrl | Shift, "", false, "", "", false},
        KeyCase{"R alone", R, 0, "", false, "", "", false},
        KeyCase{"Ctrl+U, registered, Cancel", U, Ctrl, "ja", true, "", kRemoveQuestion, true},
        KeyCase{"Ctrl+U, not registered", U, Ctrl, "ja", false, "", "", true},
        KeyCase{"Ctrl+Alt+U", U, Ctrl | Alt, "ja", true, "", "", false},
        KeyCase{"Ctrl+D", D, Ctrl, "ja", true, "", "", false},
        KeyCase{"Ctrl+K", K, Ctrl, "ja", true, "", "", false},
        KeyCase{"Ctrl+M", M, Ctrl, "ja", true, "", "", false},
        KeyCase{"Ctrl+C", C, Ctrl, "ja", true, "", "", false},
        KeyCase{"Escape", 27, 0, "ja", true, "", "", false}));

TEST(KeyCommandsCtrlR, OpensTheDialogKnownToTheMainWindowWhileShown) {
    TestWindow w;
    Form* shown = nullptr;
    w.dialogs.onShowModal = [&](Form& f) {
        shown = &f;
        EXPECT_EQ(w->registrationDialog, &f);
    };
    w->OnKeyDown(R, Ctrl);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(w->registrationDialog, nullptr);
}

TEST(KeyCommandsCtrlU, ConfirmedRemovesTheIntegrationAndClosesTheProgram) {
    TestWindow w;
    w->VersionMajor = "10";
    w->VersionMinor = "0";
    w->VersionRevision = "2";
    w.registry.values["HKEY_CLASSES_ROOT\\.kol\\"] = "kolvik10.0.2";
    w.registry.values["HKEY_CLASSES_ROOT\\kolvik10.0.2\\Checksum\\"] = "0A1B2C";
    w->REG_Check();
    ASSERT_TRUE(w->KolRegisterd);
    w.dialogs.answers = {MsgAnswer::OK};
    EXPECT_TRUE(w->OnKeyDown(U, Ctrl));
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_TRUE(w.registry.values.empty());
    EXPECT_FALSE(w->KolRegisterd) << "checked again after the removal";
    EXPECT_TRUE(w->unloaded);
}

TEST(KeyCommandsCtrlU, ConfirmedDuringARunStopsItWithNothingLost) {
    test::TempDir tree;
    const std::string big(3 << 20, 'x');  // three blocks, so the run yields inside it
    test::WriteFile(tree / "a.txt", big);
    test::WriteFile(tree / "b.txt", "bravo");
    TestWindow w("/nonexistent/kolvik", tree.path());
    w->Form_Load();
    w->KolRegisterd = true;
    w.dialogs.answers = {MsgAnswer::OK};
    w.screen.onYield = [&] {
        if (!w->unloaded) w->OnKeyDown(U, Ctrl);
    };
    w->txtPassword_1.text = w->txtPassword_2.text = "pw";
    w.clock.now = WallClock::now();
    w->OnClick(w->cmdEncrypt);
    w->OnClick(w->cmdGoEncrypt);
    EXPECT_TRUE(w->unloaded);
    // The file in work stays as it was, and the run went no further.
    EXPECT_EQ(test::ReadFile(tree / "a.txt"), big);
    EXPECT_EQ(test::ReadFile(tree / "b.txt"), "bravo");
    EXPECT_FALSE(std::filesystem::exists(tree / "a_txt.kol"));
}

}  // namespace
}  // namespace kolvik
