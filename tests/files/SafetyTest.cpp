// SPDX-License-Identifier: GPL-3.0-or-later
// What must never happen: a wrong key that writes, a user's file or a program file taken.
// Links, FIFOs and permissions are tried on the real program by the hostile-tree test.
#include <gtest/gtest.h>

#include <filesystem>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A Cancel instead ends the program: the run tests check that.
TEST(WrongKey, FolderRunTouchesNothingAndCreatesNothing) {
    TempDir target;
    WriteFile(target / "a.txt", Bytes(3000, 1));
    WriteFile(target / "b.txt", Bytes(10, 2));
    fs::create_directory(target / "sub");
    WriteFile(target / "sub/c.doc", Bytes(5000, 3));
    Window("goed").Encrypt(target.path());
    const auto before = Snapshot(target.path());
    Window w("fout");
    FaultPlan plan;
    FaultInjection watch(plan);
    w.Decrypt(target.path());
    EXPECT_EQ(plan.Seen(Call::Create), 0);
    EXPECT_TRUE(Snapshot(target.path()) == before);
    ASSERT_EQ(w.dialogs.shown.size(), 3u);
    EXPECT_EQ(w.dialogs.shown[0].text, target / "a_txt.kol: Onjuiste sleutel");
    EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_EQ(w.dialogs.shown[2].text, target / "sub/c_doc.kol: Onjuiste sleutel");
    EXPECT_FALSE(w->StopRequested);
    EXPECT_EQ(w->Report.wrongKeys, 3);
    EXPECT_EQ(w->BytesDone, 0);
    EXPECT_EQ(w.Skips(), (std::vector<std::string>{"a_txt.kol", "b_txt.kol", "c_doc.kol"}));
}

// Too short for its header is damaged, whatever the password: no wrong-key question for it.
TEST(Damaged, TooShortForItsHeaderIsDamagedButAHeaderAloneIsEmpty) {
    TempDir target;
    const std::string full = RefEncrypted("k", "txt", "");
    WriteFile(target / "none_txt.kol", "");
    WriteFile(target / "short_txt.kol", full.substr(0, 11));   // L + 8 bytes
    WriteFile(target / "header_txt.kol", full.substr(0, 12));  // L + 9 bytes
    Window w("k");
    w.Decrypt(target.path());
    EXPECT_TRUE(w.dialogs.shown.empty());
    EXPECT_EQ(w.left, (Left{{target / "none_txt.kol", LeftReason::Damaged},
                            {target / "short_txt.kol", LeftReason::Damaged}}));
    EXPECT_EQ(w->FilesSkipped, 2);
    EXPECT_EQ(w->Report.wrongKeys, 0);
    EXPECT_EQ(Snapshot(target.path()).at("header.txt"), "file:");
}

// Kolvik's own files are passed over without a trace, in any letter case, its log with one;
// "KOL" is "kol", as Windows and its association see it; a file dated at or after the mode
// press is left and reported, one just before is not.
TEST(PassOver, ProgramFilesKolNamesAndTheModeTime) {
    TempDir target;
    for (const char* n : {"Kolvik.exe", "KOLVIK.LOG", "kolvik", "Kolvik-CLI", "mykol", "x_txt.KOL",
                          "at.txt", "before.txt"})
        WriteFile(target / n, "12345");
    Window w;
    SetMtime(target / "at.txt", w->ModeTime);
    SetMtime(target / "before.txt", w->ModeTime - std::chrono::nanoseconds(1));
    auto expected = Snapshot(target.path());
    expected.erase("before.txt");
    expected["before_txt.kol"] = "file:" + RefEncrypted("geheim", "txt", "12345");
    w.Encrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()), expected);
    EXPECT_EQ(w.left, (Left{{target / "at.txt", LeftReason::ModifiedAfterModePress}}));
    EXPECT_EQ(w->FilesDone, 1);
    EXPECT_EQ(w->FilesSkipped, 4);  // the log, mykol, x_txt.KOL and at.txt
    EXPECT_EQ(w->BytesDone, 15);    // mykol, x_txt.KOL and before.txt; not the log
    EXPECT_EQ(w.Skips(), (std::vector<std::string>{"KOLVIK.LOG", "at.txt", "mykol", "x_txt.KOL"}));

    // Decrypted, the capitals' file comes back under its own name.
    WriteFile(target / "y_txt.KOL", RefEncrypted("geheim", "txt", "abc"));
    Window back;
    back.Decrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()).at("y.txt"), "file:abc");
    EXPECT_EQ(Snapshot(target.path()).count("y_txt.KOL"), 0u);
}

}  // namespace
}  // namespace kolvik::test
