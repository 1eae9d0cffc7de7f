// What must never happen: a wrong key that writes, a file replaced, a user's file taken.
// Links, FIFOs and permissions are tried on the real program by the hostile-tree test.
#include <gtest/gtest.h>

#include <filesystem>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

constexpr int kCreates = static_cast<int>(Call::Create);
constexpr int kLinks = static_cast<int>(Call::Link);

std::string EncryptedTree(TempDir& target) {
    WriteFile(target / "a.txt", Bytes(3000, 1));
    WriteFile(target / "b.txt", Bytes(10, 2));
    fs::create_directory(target / "sub");
    WriteFile(target / "sub/c.doc", Bytes(5000, 3));
    Window w("goed");
    w.Encrypt(target.path());
    return target.path();
}

TEST(WrongKey, FolderRunTouchesNothingAndCreatesNothing) {
    for (const bool cancelFirst : {false, true}) {
        TempDir target;
        EncryptedTree(target);
        const auto before = Snapshot(target.path());
        Window w("fout");
        w->LoggingOn = true;
        if (cancelFirst) w.dialogs.answers = {MsgAnswer::Cancel};
        FaultPlan plan;
        {
            FaultInjection watch(plan);
            w.Decrypt(target.path());
        }
        EXPECT_EQ(plan.seen[kCreates], 0);
        EXPECT_EQ(plan.seen[kLinks], 0);
        EXPECT_TRUE(Snapshot(target.path()) == before);
        const std::size_t expectedMessages = cancelFirst ? 1 : 3;
        ASSERT_EQ(w.dialogs.shown.size(), expectedMessages);
        EXPECT_EQ(w.dialogs.shown[0].text, target / "a_txt.kol: Onjuiste sleutel");
        EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OKCancel);
        if (!cancelFirst) {
            EXPECT_EQ(w.dialogs.shown[2].text, target / "sub/c_doc.kol: Onjuiste sleutel");
        }
        EXPECT_EQ(w->StopRequested, cancelFirst);
        EXPECT_EQ(w->FilesSkipped, static_cast<std::int64_t>(expectedMessages));
        EXPECT_EQ(w->BytesDone, 0);
        EXPECT_NE(w.Log().find("SKIP a_txt.kol"), std::string::npos);
    }
}

TEST(WrongKey, ShortFilesAreWrongKeysButAHeaderAloneIsEmpty) {
    TempDir target;
    const std::string full = RefEncrypted("k", "txt", "");
    WriteFile(target / "none_txt.kol", "");
    WriteFile(target / "short_txt.kol", full.substr(0, 11));   // L + 8 bytes
    WriteFile(target / "header_txt.kol", full.substr(0, 12));  // L + 9 bytes
    Window w("k");
    w.Decrypt(target.path());
    EXPECT_EQ(w.dialogs.shown.size(), 2u);
    EXPECT_TRUE(fs::exists(target / "none_txt.kol") && fs::exists(target / "short_txt.kol"));
    EXPECT_TRUE(fs::exists(target / "header.txt") && ReadFile(target / "header.txt").empty());
}

TEST(NoReplace, EitherDirectionLeavesBothFiles) {
    TempDir target;
    WriteFile(target / "report.txt", "plain");
    WriteFile(target / "report_txt.kol", "somebody else's");
    WriteFile(target / "data.a_b", "keep");
    Window w;
    w->LoggingOn = true;
    w.Encrypt(target.path());
    EXPECT_EQ(ReadFile(target / "report.txt"), "plain");
    EXPECT_EQ(ReadFile(target / "report_txt.kol"), "somebody else's");
    EXPECT_EQ(w->FilesDone, 1);     // data.a_b
    EXPECT_EQ(w->FilesSkipped, 2);  // the .kol file, and report.txt whose name is taken
    EXPECT_NE(w.Log().find("SKIP report.txt"), std::string::npos);

    // Decrypting: data_a_b.kol would become data.a_b, which now exists again.
    WriteFile(target / "data.a_b", "new plain");
    const auto before = Snapshot(target.path());
    Window back;
    back.Decrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

TEST(TemporaryName, FallbackNeverTakesAUsersFile) {
    TempDir target;
    WriteFile(target / "a.txt", Bytes(4000, 5));
    WriteFile(target / "tijdel.enc", "mine");
    const auto before = Snapshot(target.path());
    FaultPlan plan;
    plan.tmpfileUnsupported = true;
    FaultInjection inject(plan);
    Window w;
    w.Encrypt(target.path());
    EXPECT_EQ(w->FilesDone, 2);
    EXPECT_TRUE(fs::exists(target / "tijdel_enc.kol") && fs::exists(target / "a_txt.kol"));
    EXPECT_EQ(std::distance(fs::directory_iterator(target.path()), fs::directory_iterator()), 2);
    Window back;
    back.Decrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

TEST(ModeTime, FilesChangedSinceTheModeButtonAreLeftAlone) {
    TempDir target;
    WriteFile(target / "at.txt", "x");
    WriteFile(target / "before.txt", "y");
    Window w;
    SetMtime(target / "at.txt", w->ModeTime);
    SetMtime(target / "before.txt", w->ModeTime - std::chrono::nanoseconds(1));
    w.Encrypt(target.path());
    EXPECT_TRUE(fs::exists(target / "at.txt"));
    EXPECT_TRUE(fs::exists(target / "before_txt.kol"));
    EXPECT_EQ(w->FilesDone + w->FilesSkipped, 1);
}

TEST(PassOver, ProgramFilesAndKolNames) {
    TempDir target;
    for (const char* n :
         {"Kolvik.exe", "Kolvik.log", "kolvik", "kolvik-cli", "mykol", "x_txt.KOL"}) {
        WriteFile(target / n, "12345");
    }
    Window w;
    w->LoggingOn = true;
    w.Encrypt(target.path());
    for (const char* n : {"Kolvik.exe", "Kolvik.log", "kolvik", "kolvik-cli", "mykol"}) {
        EXPECT_TRUE(fs::exists(target / n)) << n;
    }
    EXPECT_TRUE(fs::exists(target / "x_txt_KOL.kol"));  // encrypted again: "KOL" is not "kol"
    EXPECT_EQ(w->FilesDone, 1);
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
    int yields = 0;
    // Measuring, showing the file, block 1, then Exit before block 2.
    w.screen.onYield = [&] {
        if (++yields == 4) w->cmdExit_Click();
    };
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
    EXPECT_TRUE(w->unloaded);
    EXPECT_EQ(w->FilesDone, 0);
}

}  // namespace
}  // namespace kolvik::test
