// SPDX-License-Identifier: GPL-3.0-or-later
// What must never happen: a wrong key that writes, a user's file or a program file taken.
// Links, FIFOs and permissions are tried on the real program by the hostile-tree test.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A Cancel instead ends the program: the run tests check that.
TEST(WrongKey, FolderRunTouchesNothingAndCreatesNothing) {
    TempDir target;
    Plant(target.path(), {{"a.txt", 3000}, {"b.txt", 10}, {"sub/c.doc", 5000}});
    Engine("goed").Encrypt(target.path());
    const auto before = Snapshot(target.path());
    Engine w("fout");
    FaultPlan plan;
    FaultInjection watch(plan);
    w.Decrypt(target.path());
    EXPECT_EQ(plan.Seen(Call::Create), 0);
    EXPECT_TRUE(Snapshot(target.path()) == before);
    EXPECT_EQ(w.events.asked, (std::vector<std::string>{target / "a_txt.kol", target / "b_txt.kol",
                                                        target / "sub/c_doc.kol"}));
    EXPECT_FALSE(w.flags.StopRequested);
    EXPECT_EQ(w.report.wrongKeys, 3);
    EXPECT_EQ(w.stats.BytesDone, 0);
    EXPECT_EQ(w.events.skipped, (std::vector<std::string>{"a_txt.kol", "b_txt.kol", "c_doc.kol"}));
}

// Kolvik's programs are passed over: in the program's folder without a trace, elsewhere
// reported as left, since nothing protects them there; letter case is ignored, as Windows
// ignores it. Its log is passed over with a SKIP line, and elsewhere named like them. A plain name
// that merely ends in kol is passed over and named; "KOL" is "kol", as Windows and its association
// see it; a file dated at or after the mode press is left and reported, one just before is not.
TEST(PassOver, ProgramFilesKolNamesAndTheModeTime) {
    for (const bool home : {true, false}) {
        SCOPED_TRACE(home ? "program folder" : "elsewhere");
        TempDir elsewhere;
        Engine w;
        const std::string target = home ? w.programFolder.path() : elsewhere.path();
        // README.md and LICENSE come with the program (the portable zip): its own only beside it.
        for (const char* n : {"Kolvik.exe", "Kolvik.log", "kolvik", "Kolvik-CLI", "mykol",
                              "x_txt.KOL", "at.txt", "before.txt", "README.md", "LICENSE"}) {
            // The log gets lines of its own appended after this one.
            WriteFile(target + "/" + n, n == std::string("Kolvik.log") ? "12345\r\n" : "12345");
            SetMtime(target + "/" + n, w.modeTime - std::chrono::seconds(1));
        }
        SetMtime(target + "/at.txt", w.modeTime);  // the mode press
        SetMtime(target + "/before.txt", w.modeTime - std::chrono::nanoseconds(1));
        auto expected = Snapshot(target);
        expected.erase("before.txt");
        expected["before_txt.kol"] = RefKolEntry("txt", "12345");
        if (!home) {
            expected.erase("README.md"), expected.erase("LICENSE");
            expected["README_md.kol"] = RefKolEntry("md", "12345");
            expected["LICENSE_.kol"] = RefKolEntry("", "12345");
        }
        w.Encrypt(target);
        auto after = Snapshot(target);
        if (home) after.erase("Kolvik.log"), expected.erase("Kolvik.log");  // the run's own log
        EXPECT_EQ(after, expected);
        // Listed in byte order: capitals first, "-" before ".".
        // Reported paths use the system's separator.
        const auto in = [&](const char* n) { return home ? w.programFolder / n : elsewhere / n; };
        const Left left = home ? Left{{in("at.txt"), LeftReason::ModifiedAfterModePress},
                                      {in("mykol"), LeftReason::KolNamePassedOver}}
                               : Left{{in("Kolvik-CLI"), LeftReason::KolvikOwnFile},
                                      {in("Kolvik.exe"), LeftReason::KolvikOwnFile},
                                      {in("Kolvik.log"), LeftReason::KolvikOwnFile},
                                      {in("at.txt"), LeftReason::ModifiedAfterModePress},
                                      {in("kolvik"), LeftReason::KolvikOwnFile},
                                      {in("mykol"), LeftReason::KolNamePassedOver}};
        EXPECT_EQ(w.events.left, left);
        EXPECT_EQ(w.stats.FilesDone, home ? 1 : 3);
        // home: Kolvik.log, mykol, at.txt and x_txt.KOL, the other kind
        EXPECT_EQ(w.stats.FilesSkipped, home ? 4 : 7);
        // mykol, x_txt.KOL and before.txt (elsewhere README.md and LICENSE too); not Kolvik.log
        EXPECT_EQ(w.stats.BytesDone, home ? 15 : 25);
        const std::vector<std::string> skips =
            home ? std::vector<std::string>{"Kolvik.log", "at.txt", "mykol", "x_txt.KOL"}
                 : std::vector<std::string>{"Kolvik-CLI", "Kolvik.exe", "Kolvik.log", "at.txt",
                                            "kolvik",     "mykol",      "x_txt.KOL"};
        EXPECT_EQ(w.events.skipped, skips);
    }
}

// Open for writing in another program all through the run: whatever it writes next would be
// lost with a deleted original. It is left in use and not touched; the file beside it is done.
TEST(PassOver, AFileOpenForWritingElsewhereIsLeftInUse) {
    for (const bool decrypting : {false, true}) {
        SCOPED_TRACE(decrypting ? "decrypting" : "encrypting");
        TempDir target;
        const KolPair busy = PlantOne(target.path(), "a", "wordt geschreven", decrypting);
        const KolPair free = PlantOne(target.path(), "b", "vrij", decrypting);
        Engine w;
        {
            const HeldOpen writer(target / busy.name, true);
            w.Run(target.path(), decrypting);
        }
        EXPECT_EQ(Snapshot(target.path()), (Tree{{busy.name, "file:" + busy.content},
                                                 {free.copy, "file:" + free.copyContent}}));
        EXPECT_EQ(w.events.left, (Left{{target / busy.name, LeftReason::InUse}}));
        EXPECT_EQ(w.stats.FilesDone, 1);
    }
}

// Decrypting, a name that merely ends in kol and does not open is no damaged or foreign
// encrypted file but one that never was ours: passed over and named. A .kol file too short for
// its header is damaged, whatever the password. Neither gets the wrong-key question.
TEST(PassOver, KolNamesThatDoNotOpenAreNamedAndShortFilesDamaged) {
    TempDir target;
    const std::string empty = RefEncrypted("geheim", "txt", "");
    WriteFile(target / "data_kol", "kort");
    WriteFile(target / "notes_kol", "een gewone tekst van ruim twintig tekens");
    WriteFile(target / "real_kol", RefEncrypted("geheim", "txt", "echt"));
    WriteFile(target / "y_txt.KOL", RefEncrypted("geheim", "txt", "abc"));
    WriteFile(target / "none_txt.kol", "");
    WriteFile(target / "short_txt.kol", empty.substr(0, 11));   // L + 8 bytes
    WriteFile(target / "header_txt.kol", empty.substr(0, 12));  // L + 9 bytes: empty
    Engine w;
    w.Decrypt(target.path());
    EXPECT_TRUE(w.events.asked.empty() && w.events.unopenable.empty());
    EXPECT_EQ(w.events.left, (Left{{target / "data_kol", LeftReason::KolNamePassedOver},
                                   {target / "none_txt.kol", LeftReason::Damaged},
                                   {target / "notes_kol", LeftReason::KolNamePassedOver},
                                   {target / "short_txt.kol", LeftReason::Damaged}}));
    EXPECT_EQ(w.stats.FilesSkipped, 4);
    EXPECT_EQ(w.report.wrongKeys, 0);
    const Tree after = Snapshot(target.path());
    EXPECT_EQ(after.at("header.txt"), "file:");
    EXPECT_EQ(after.at("real.txt"), "file:echt");
    // The capitals' file comes back under its own name.
    EXPECT_EQ(after.at("y.txt"), "file:abc");
    EXPECT_EQ(after.count("y_txt.KOL"), 0u);
}

// A file that merely bears the name of a run's lock is the user's: kept and named. On Windows,
// where a run's lock takes that very name, an empty one is a lock a power cut left and is
// taken over; one with something in it is kept and the folder is not claimed past it.
TEST(PassOver, AUsersFileNamedLikeTheRunLock) {
    for (const std::string mine : {"", "van mij"}) {
        SCOPED_TRACE(mine);
        TempDir target;
        Plant(target.path(), {{"sub/a.txt", 1}});
        WriteFile(target / "sub/.kolvik-slot", mine);
        Engine w;
        w.Encrypt(target.path());
        const bool held = kWindows && !mine.empty();
        Tree expected{{"sub", "dir"}};
        expected[held ? "sub/a.txt" : "sub/a_txt.kol"] = held ? "file:x" : RefKolEntry("txt", "x");
        if (!kWindows || held) expected["sub/.kolvik-slot"] = "file:" + mine;
        EXPECT_EQ(Snapshot(target.path()), expected);
        const Left left = !kWindows ? Left{{target / "sub/.kolvik-slot", LeftReason::KolvikOwnFile}}
                          : held    ? Left{{target / "sub/a.txt", LeftReason::HeldByOtherRun}}
                                    : Left{};
        EXPECT_EQ(w.events.left, left);
    }
}

}  // namespace
}  // namespace kolvik::test
