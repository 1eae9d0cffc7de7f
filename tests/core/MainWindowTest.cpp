// SPDX-License-Identifier: GPL-3.0-or-later
// The main window without a window: mode buttons, the strong box, progress, log and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "Version.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

using test::TestWindow;

const char* const kUnequal = "Ongelijke invoer";
const char* const kEmpty = "Geef een wachtwoord op.";
const char* const kZhong = "\xE4\xB8\xAD";  // U+4E2D, no Windows-1252 code
const char* const kEuro = "\xE2\x82\xAC";   // 80 in Windows-1252
const char* const kNotCp1252 =
    "Het wachtwoord bevat tekens die Kolvik niet kan gebruiken (alleen tekens uit Windows-1252).";

TEST(ModeButtons, CompareEntriesAndTakeOnlyPasswordsTheKeyCanHoldForEncryption) {
    const struct {
        const char *first, *second;
        const char* refusal;  // the message, or nullptr when the mode is chosen
        const char *firstAfter, *secondAfter, *focusAfter;  // the boxes' texts, the focus
        bool decrypt;
        bool locked = false;         // the boxes as one decrypted file leaves them
        int box = 0, boxAfter = -1;  // chkSterk at the press, and clicked to after it (or -1)
    } cases[] = {
        {"Geheim", "Geheim", nullptr, "Geheim", "Geheim", "cmdGoDecrypt", true},
        // Letter case counts.
        {"Geheim", "geheim", kUnequal, "", "", "txtPassword_1", false},
        // Decryption asks only for the confirmation again.
        {"Geheim", "GEHEIM", kUnequal, "Geheim", "", "txtPassword_2", true},
        // The key is the password in Windows-1252: € is 80 there; a byte that is no UTF-8 has
        // no code, nor has 中 (U+4E2D, below with the box), and each would become "?". A typed
        // "?" is a character.
        {"", "", kEmpty, "", "", "txtPassword_1", false},
        {"?", "?", nullptr, "?", "?", "cmdGoEncrypt", false},
        {kEuro, kEuro, nullptr, kEuro, kEuro, "cmdGoEncrypt", false},
        {"caf\xE9", "caf\xE9", kNotCp1252, "", "", "txtPassword_1", false},
        // An unequal pair is told as such, whatever it holds, an empty first entry included.
        {kZhong, "", kUnequal, "", "", "txtPassword_1", false},
        {"", "x", kUnequal, "", "", "txtPassword_1", false},
        // Decryption takes any password: files made with one by earlier versions must open (one
        // outside Windows-1252: RunTest.cpp).
        {"", "", nullptr, "", "", "cmdGoDecrypt", true},
        // Locked boxes holding a password encryption refuses are freed, or no other could be
        // typed; an unequal pair leaves them locked, as a mismatch always has.
        {"", "", kEmpty, "", "", "txtPassword_1", false, true},
        {"caf\xE9", "caf\xE9", kNotCp1252, "", "", "txtPassword_1", false, true},
        {"a", "b", kUnequal, "", "", "txtPassword_1", false, true},
        // The box picks the strong format, which takes any password but an empty one (one outside
        // Windows-1252: StrongFormatTest.cpp); a click on it while the mode is chosen is judged as
        // a new press.
        {"", "", kEmpty, "", "", "txtPassword_1", false, false, 1},
        {"Geheim", "Geheim", nullptr, "Geheim", "Geheim", "cmdGoEncrypt", false, false, 0, 1},
        {"Geheim", "Geheim", nullptr, "Geheim", "Geheim", "cmdGoEncrypt", false, false, 1, 0},
        {kZhong, kZhong, kNotCp1252, "", "", "txtPassword_1", false, false, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.decrypt ? "decrypt " : "encrypt ") + c.first + "/" + c.second);
        TestWindow w;
        w->cmdGoEncrypt.enabled = w->cmdGoDecrypt.enabled = false;  // as start-up leaves them
        w->txtPassword_1.enabled = w->txtPassword_2.enabled = !c.locked;
        w->txtPassword_1.text = c.first;
        w->txtPassword_2.text = c.second;
        w.clock.now += std::chrono::nanoseconds(123456789);
        w->chkSterk.value = c.box;
        w->OnClick(c.decrypt ? w->cmdDecrypt : w->cmdEncrypt);
        if (c.boxAfter >= 0) {
            w->chkSterk.value = c.boxAfter;
            w->OnClick(w->chkSterk);
        }

        EXPECT_EQ(w->session.ModeTime(), w.clock.now);  // kept from every press, to the nanosecond
        // A window opened later on the same store starts with the box as last clicked, else off.
        EXPECT_EQ(TestWindow("/nonexistent/kolvik", "", &w.registry)->chkSterk.value,
                  std::max(c.boxAfter, 0));
        EXPECT_FALSE(w->chkSterk.tooltip.empty());
        EXPECT_EQ(w->txtPassword_1.text, c.firstAfter);
        EXPECT_EQ(w->txtPassword_2.text, c.secondAfter);
        EXPECT_EQ(w->focus, c.focusAfter);
        EXPECT_EQ(w->session.Report().passwordRefused, c.refusal != nullptr);
        ASSERT_EQ(w.dialogs.shown.size(), c.refusal ? 1u : 0u);
        if (c.refusal) {
            EXPECT_EQ(w.dialogs.shown[0].text, c.refusal);
            EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OK);
            const bool freed = !c.locked || c.refusal != kUnequal;
            EXPECT_EQ(w->txtPassword_1.enabled, freed);
            EXPECT_EQ(w->txtPassword_2.enabled, freed);
            EXPECT_TRUE(w->cmdEncrypt.enabled && w->cmdDecrypt.enabled);
            EXPECT_FALSE(w->cmdGoEncrypt.enabled || w->cmdGoDecrypt.enabled);
            EXPECT_EQ(w->cmdGoEncrypt.text, ">-------->>>");
            continue;
        }
        Control& go = c.decrypt ? w->cmdGoDecrypt : w->cmdGoEncrypt;
        EXPECT_EQ(w->session.DecryptMode(), c.decrypt);
        EXPECT_EQ(w->session.StrongChosen(), (c.boxAfter < 0 ? c.box : c.boxAfter) == 1);
        EXPECT_EQ(go.text, c.decrypt ? "Decrypt" : "Encrypt");
        EXPECT_TRUE(go.visible && go.enabled);
        EXPECT_NE(w->cmdGoEncrypt.visible, w->cmdGoDecrypt.visible);  // the other one is hidden
        EXPECT_FALSE(w->txtPassword_1.enabled || w->txtPassword_2.enabled);
        EXPECT_FALSE(w->cmdEncrypt.enabled || w->cmdDecrypt.enabled);
    }
}

// Shown at once when the window loads with Caps Lock on, then as the key is.
TEST(MainWindow, CapsLockNoticeAtLoadOnReleaseAndResize) {
    TestWindow w;
    w.keys.capsLock = true;
    w->Form_Load();
    EXPECT_TRUE(w->lblCapsLock.visible);
    for (const bool on : {false, true}) {
        w.keys.capsLock = on;
        on ? w->OnKeyUp(20, 0) : w->OnResize();
        EXPECT_EQ(w->lblCapsLock.visible, on);
    }
}

TEST(ProgressBar, FillsInOrderRestartsForTheNextFileAndStopsAtTheLastBlock) {
    TestWindow w;
    w->BuildProgressBar();
    const auto shown = [&] {  // the blocks as a string of 0 and 1
        std::string out;
        for (const auto& block : w->element) out += block.visible ? '1' : '0';
        return out;
    };
    const auto first = [](int n) { return std::string(n, '1') + std::string(39 - n, '0'); };
    w->ShowFileProgress(1001, 0);  // an empty file shows nothing, and divides by nothing
    EXPECT_EQ(shown(), first(0));
    w->ShowFileProgress(1001, 3800);  // 1001 / 3800 * 38 = 10.01
    EXPECT_EQ(shown(), first(11));
    w->ShowFileProgress(3800, 3800);
    EXPECT_EQ(shown(), first(39));

    // A smaller file after a larger one: the first update finds n below NextBlock.
    w->ResetFileProgress();
    EXPECT_EQ(shown(), first(0));
    w->ShowFileProgress(1001, 2000);  // 19.019
    EXPECT_EQ(shown(), first(20));
    EXPECT_EQ(w->NextBlock, 20);

    // Past the last block the update stops, and NextBlock stays as it was.
    w->ShowFileProgress(1014, 1001);  // header included: 1014 / 1001 * 38 = 38.49, n = 38
    EXPECT_EQ(w->NextBlock, 39);
    w->NextBlock = 30;
    w->ShowFileProgress(1265, 1000);  // n = 48
    EXPECT_EQ(shown(), first(39));
    EXPECT_EQ(w->NextBlock, 30);
    w->session.RequestStop();  // a stopped run keeps its blocks
    w->ResetFileProgress();
    EXPECT_EQ(shown(), first(39));
}

TEST(Percentage, SevenSpacesTenthsAndPercentSign) {
    const struct {
        std::int64_t done, total;
        const char* separator;
        const char* text;
    } cases[] = {
        {123, 1000, ",", "       12,3 %"},  // whole numbers without tenths: RoundTripTest.cpp
        {1, 3, ".", "       33.3 %"},
        {3, 4000, ",", "       0 %"},  // 0.075 %: cut off, not rounded
        {6'000'000'000, 8'000'000'000, ",", "       75 %"},
        {5, 0, ",", "vorige"},  // a total of 0 leaves the label as it was
    };
    for (const auto& c : cases) {
        TestWindow w;
        w.regional.separator = c.separator;
        w->lblPercentage.text = "vorige";
        w->ShowPercentage(c.done, c.total);
        EXPECT_EQ(w->lblPercentage.text, c.text) << c.done << "/" << c.total;
    }
}

TEST(ActivityLog, CreatedEmptyThenLinesInWindows1252WithCrLfAndNamedByTheSwitch) {
    test::TempDir dir;
    TestWindow w(dir.path());
    ASSERT_TRUE(w->gLog(""));
    ASSERT_TRUE(std::filesystem::exists(dir / "Kolvik.log"));
    EXPECT_EQ(test::ReadFile(dir / "Kolvik.log"), "");
    ASSERT_TRUE(w->gLog("SKIP caf\xC3\xA9 \"x\".txt"));
    ASSERT_TRUE(w->gLog("SKIP nieuwe\nregel\r.txt"));  // one entry stays one line
    EXPECT_EQ(test::ReadFile(dir / "Kolvik.log"),
              "\"12:34:56 SKIP caf\xE9 \"x\".txt\"\r\n\"12:34:56 SKIP nieuwe?regel?.txt\"\r\n");
    // The switch's tooltips name the log file.
    for (const int on : {1, 0}) {
        w->chkLoggen.value = on;
        w->OnClick(w->chkLoggen);
        const std::string tip = on ? dir / "Kolvik.log" : "Loggen uitgeschakeld";
        EXPECT_EQ(w->chkLoggen.tooltip, tip);
        EXPECT_EQ(w->lblLoggen.tooltip, tip);
    }
}

// The key commands: which key and shift state does what.
const char* const kRemoveQuestion =
    "U staat op het punt de toevoeging van\r\nKolvik aan het Windows-register te verwijderen !";

const char* const kKolKey = "HKEY_CLASSES_ROOT\\.kol\\";

constexpr int F1 = 112, R = 82, U = 85, D = 68;
constexpr int Shift = 1, Ctrl = 2, Alt = 4;

// F1, Ctrl+R with nothing registered and Ctrl+U on a registration, each pressed through a
// view, are in tests/gui/DialogViewsTest.cpp and tests/win32/desktop_test.sh.
TEST(KeyCommands, DoWhatTheirKeyAndShiftStateAskFor) {
    const struct {
        const char* what;
        int key, shift;
        const char* ctx;      // the context-menu option in the store, "" for none
        const char* window;   // caption of the window shown modally, or ""
        const char* message;  // text of the message shown, or ""
        bool registered;      // in the store; the window's fields hold the opposite until read
        bool own;             // kept from the focused control
        bool busy = false;    // a run is going on
    } cases[] = {
        {"Shift+F1", F1, Shift, "", "", "", false, false},
        {"Ctrl+R, context menu nee", R, Ctrl, "nee", "Kolvik registreren", "", true, true},
        {"Ctrl+R, context menu ja", R, Ctrl, "ja", "", "Kolvik is al geregistreerd.", true, true},
        {"Ctrl+Shift+R", R, Ctrl | Shift, "", "", "", false, false},
        {"Ctrl+U, not registered", U, Ctrl, "ja", "", "", false, true},
        {"Ctrl+Alt+U", U, Ctrl | Alt, "ja", "", "", true, false},
        {"Ctrl+D", D, Ctrl, "ja", "", "", true, false},
        {"Escape", 27, 0, "ja", "", "", true, false},
        // A modal window would stand a run still and keep Exit from being pressed; the key
        // still goes no further. Ctrl+U asks first and stops the run on OK.
        {"F1 during a run", F1, 0, "", "", "", false, true, true},
        {"Ctrl+R during a run", R, Ctrl, "", "", "", false, true, true},
        {"Ctrl+U during a run, Cancel", U, Ctrl, "ja", "", kRemoveQuestion, true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestWindow w;
        // Registered or removed by another Kolvik after this window opened: the keys ask the
        // store.
        w->session.ChooseRegistration("", std::string(c.ctx) == "ja" ? "" : "ja");
        if (!c.registered) w->session.NoteRegistered();
        if (*c.ctx)
            w.registry.values["HKEY_CLASSES_ROOT\\" + w->ProgId() + "\\Options\\addtocontext"] =
                c.ctx;
        if (c.registered) w.registry.values[kKolKey] = w->ProgId();
        w->RunBusy = c.busy;
        w.dialogs.answers = {MsgAnswer::Cancel};
        // The main window knows the registration dialog only while it is shown.
        w.dialogs.onShowModal = [&](Form& f) {
            EXPECT_EQ(w->registrationDialog == &f, f.caption == "Kolvik registreren");
        };
        EXPECT_EQ(w->OnKeyDown(c.key, c.shift), c.own);
        EXPECT_EQ(w.dialogs.modalForms, std::vector<std::string>(*c.window ? 1 : 0, c.window));
        EXPECT_EQ(w.dialogs.Texts(), std::vector<std::string>(*c.message ? 1 : 0, c.message));
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
    w.Press("pw");
    EXPECT_TRUE(w->unloaded);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_TRUE(w.registry.values.empty());
    EXPECT_FALSE(w->session.KolRegisterd()) << "checked again after the removal";
    // The file in work stays as it was, and the run went no further.
    EXPECT_EQ(test::ReadFile(tree / "a.txt"), big);
    EXPECT_EQ(test::ReadFile(tree / "b.txt"), "bravo");
    EXPECT_FALSE(std::filesystem::exists(tree / "a_txt.kol"));
}

}  // namespace
}  // namespace kolvik
