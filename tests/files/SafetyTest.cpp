// What must never happen: a wrong key that writes, a user's file taken or changed. A name
// already taken is the earlier-copy tests' part; links, FIFOs and permissions are tried on the
// real program by the hostile-tree test.
#include <gtest/gtest.h>

#include <filesystem>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A cancel instead ends the program: the run tests check that.
TEST(WrongKey, FolderRunTouchesNothingAndCreatesNothing) {
    TempDir target;
    WriteFile(target / "a.txt", Bytes(3000, 1));
    WriteFile(target / "b.txt", Bytes(10, 2));
    fs::create_directory(target / "sub");
    WriteFile(target / "sub/c.doc", Bytes(5000, 3));
    Window("goed").Encrypt(target.path());
    const auto before = Snapshot(target.path());
    Window w("fout");
    w->LoggingOn = true;
    FaultPlan plan;
    FaultInjection watch(plan);
    w.Decrypt(target.path());
    EXPECT_EQ(plan.seen[static_cast<int>(Call::Create)], 0);
    EXPECT_TRUE(Snapshot(target.path()) == before);
    ASSERT_EQ(w.dialogs.shown.size(), 3u);
    EXPECT_EQ(w.dialogs.shown[0].text, target / "a_txt.kol: Onjuiste sleutel");
    EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_EQ(w.dialogs.shown[2].text, target / "sub/c_doc.kol: Onjuiste sleutel");
    EXPECT_FALSE(w->StopRequested);
    EXPECT_EQ(w->FilesSkipped, 3);
    EXPECT_EQ(w->BytesDone, 0);
    EXPECT_NE(w.Log().find("SKIP a_txt.kol"), std::string::npos);
}

// Too short for its header is damaged, whatever the password: no wrong-key question for it.
TEST(Damaged, TooShortForItsHeaderIsDamagedButAHeaderAloneIsEmpty) {
    TempDir target;
    const std::string full = RefEncrypted("k", "txt", "");
    WriteFile(target / "none_txt.kol", "");
    WriteFile(target / "three_txt.kol", full.substr(0, 3));
    WriteFile(target / "short_txt.kol", full.substr(0, 11));   // L + 8 bytes
    WriteFile(target / "header_txt.kol", full.substr(0, 12));  // L + 9 bytes
    Window w("k");
    std::vector<std::pair<std::string, LeftReason>> left;
    w->FileLeft = [&](const std::string& path, LeftReason r) { left.emplace_back(path, r); };
    w.Decrypt(target.path());
    EXPECT_TRUE(w.dialogs.shown.empty());
    const std::vector<std::pair<std::string, LeftReason>> expected = {
        {target / "none_txt.kol", LeftReason::Damaged},
        {target / "short_txt.kol", LeftReason::Damaged},
        {target / "three_txt.kol", LeftReason::Damaged}};
    EXPECT_EQ(left, expected);
    EXPECT_EQ(w->FilesSkipped, 3);
    EXPECT_EQ(w->Report.wrongKeys, 0);
    EXPECT_TRUE(fs::exists(target / "header.txt") && ReadFile(target / "header.txt").empty());
}

TEST(TemporaryName, FallbackNeverTakesAUsersFile) {
    TempDir target;
    WriteFile(target / "a.txt", Bytes(4000, 5));
    WriteFile(target / "tijdel.enc", "mine");
    const auto before = Snapshot(target.path());
    FaultPlan plan{.tmpfileUnsupported = true};
    FaultInjection inject(plan);
    Window w;
    w.Encrypt(target.path());
    EXPECT_TRUE(fs::exists(target / "tijdel_enc.kol") && fs::exists(target / "a_txt.kol"));
    EXPECT_EQ(std::distance(fs::directory_iterator(target.path()), fs::directory_iterator()), 2);
    Window().Decrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

TEST(ModeTime, FilesChangedSinceTheModeButtonAreLeftAlone) {
    TempDir target;
    WriteFile(target / "at.txt", "x");
    WriteFile(target / "before.txt", "y");
    Window w;
    SetMtime(target / "at.txt", w->ModeTime);
    SetMtime(target / "before.txt", w->ModeTime - std::chrono::nanoseconds(1));
    w->LoggingOn = true;
    w.Encrypt(target.path());
    EXPECT_TRUE(fs::exists(target / "at.txt"));
    EXPECT_TRUE(fs::exists(target / "before_txt.kol"));
    // Left alone, but counted and logged: the user learns that it is still plain.
    EXPECT_EQ(w->FilesDone, 1);
    EXPECT_EQ(w->FilesSkipped, 1);
    EXPECT_EQ(w->Report.left, 1);
    EXPECT_NE(w.Log().find("SKIP at.txt"), std::string::npos);
}

TEST(PassOver, ProgramFilesAndKolNames) {
    TempDir target;
    for (const char* n : {"Kolvik.exe", "Kolvik.log", "kolvik", "kolvik-cli", "mykol", "x_txt.KOL"})
        WriteFile(target / n, "12345");
    auto expected = Snapshot(target.path());
    expected.erase("x_txt.KOL");  // encrypted again: "KOL" is not "kol"
    expected["x_txt_KOL.kol"] = "file:" + RefEncrypted("geheim", "KOL", "12345");
    Window w;
    w->LoggingOn = true;
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == expected);
    EXPECT_EQ(w->FilesSkipped, 2);  // Kolvik.log and mykol
    EXPECT_EQ(w->BytesDone, 10);    // x_txt.KOL and mykol, not Kolvik.log
    const std::string log = w.Log();
    EXPECT_NE(log.find("SKIP Kolvik.log"), std::string::npos);
    EXPECT_NE(log.find("SKIP mykol"), std::string::npos);
    EXPECT_EQ(log.find("SKIP kolvik"), std::string::npos);
}

TEST(Exit, MidFileLeavesTheOriginalAndNoTemporaryFile) {
    TempDir target;
    WriteFile(target / "big.bin", Bytes(3 << 20, 4));
    const auto before = Snapshot(target.path());
    Window w;
    // Measuring, showing the file, block 1, then Exit before block 2.
    w.screen.onYield = [&, yields = 0]() mutable {
        if (++yields == 4) w->cmdExit_Click();
    };
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
    EXPECT_TRUE(w->unloaded);
}

}  // namespace
}  // namespace kolvik::test
