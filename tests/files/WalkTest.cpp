// The walk's order, its skip-word tests, its size scan and its stops; the viewer choice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "Helpers.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

void Plant(const TempDir& root, const std::vector<std::pair<std::string, std::size_t>>& files) {
    for (const auto& [path, size] : files) {
        fs::create_directories(fs::path(root / path).parent_path());
        WriteFile(root / path, std::string(size, 'x'));
    }
}

TEST(Walk, SkipWordsByPathAndByName) {
    TempDir target;
    Plant(target, {{"top.txt", 1},
                   {"RECYCLER/direct.txt", 2},          // handed over, left alone by its path test
                   {"RECYCLER/deep/below.txt", 4},      // never visited
                   {"recycler2/x.txt", 8},              // "RECYCLER" inside a name: left alone
                   {"Old_RESTORE_copy/y.txt", 16},
                   {"System Volume Information/z.txt", 32},
                   {"normal/a.txt", 64},
                   {"normal/deeper/b.txt", 128}});
    Window w;
    w.Encrypt(target.path());
    for (const char* kept : {"RECYCLER/direct.txt", "RECYCLER/deep/below.txt", "recycler2/x.txt",
                             "Old_RESTORE_copy/y.txt", "System Volume Information/z.txt"}) {
        EXPECT_TRUE(fs::exists(target / kept)) << kept;
    }
    for (const char* done : {"top_txt.kol", "normal/a_txt.kol", "normal/deeper/b_txt.kol"}) {
        EXPECT_TRUE(fs::exists(target / done)) << done;
    }
    EXPECT_EQ(w->FilesDone, 3);
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->TotalBytes, 255);  // the folder's size covers everything below it
}

TEST(Walk, TargetWhosePathHasASkipWord) {
    TempDir root;
    Plant(root, {{"_Restore/a.txt", 1}, {"_Restore/sub/b.txt", 1}});
    Window w;
    w.Encrypt(root / "_Restore");
    EXPECT_TRUE(fs::exists(root / "_Restore/a.txt"));
    EXPECT_TRUE(fs::exists(root / "_Restore/sub/b.txt"));
}

TEST(Walk, MeasureTargetUsesTheNameTest) {
    TempDir target;
    Plant(target, {{"f", 10}, {"My RECYCLER/f", 20}, {"recycler/f", 40}, {"sub/f", 80}, {"sub/RECYCLED/f", 160}});
    Window w;
    w->lblFiles.text = "old";
    EXPECT_EQ(w->MeasureTarget(target.path()), 10 + 20 + 80 + 160);
    EXPECT_EQ(w->lblFiles.text, "");
}

TEST(Walk, SizesPast2GiBAreExact) {
    TempDir target;
    const std::int64_t big = (std::int64_t{3} << 30) + 7;  // sparse: no disk used
    WriteFile(target / "big.bin", "");
    ASSERT_EQ(::truncate((target / "big.bin").c_str(), big), 0);
    Window w;
    w->StopRequested = true;  // measure only
    w->ProcessTarget(target.path());
    EXPECT_EQ(w->TotalBytes, big);
    EXPECT_EQ(w->MeasureTarget(target.path()), big);
}

TEST(Walk, AStopBeforeTheRunTransformsNothingAndClearsCaptions) {
    TempDir target;
    Plant(target, {{"a.txt", 1}, {"sub/b.txt", 1}});
    const auto before = Snapshot(target.path());
    Window w;
    w->StopRequested = true;
    w->lblTijd.text = w->lblFiles.text = w->lblTotalFiles.text = "stale";
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
    EXPECT_EQ(w->lblTijd.text + w->lblFiles.text + w->lblTotalFiles.text, "");
}

TEST(Walk, CancelOnAWrongKeyStopsTheRest) {
    TempDir target;
    Plant(target, {{"a.txt", 3}, {"b.txt", 3}, {"sub/c.txt", 3}});
    Window("goed").Encrypt(target.path());
    const auto before = Snapshot(target.path());
    Window w("fout");
    w.dialogs.answers = {MsgAnswer::Cancel};
    w.Decrypt(target.path());
    EXPECT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

TEST(Walk, ExitEndsTheFolderLevelAndClosesTheWindow) {
    TempDir target;
    Plant(target, {{"a/x.txt", 1}, {"b/y.txt", 1}});
    Window w;
    w.screen.onYield = [&] { w->ExitRequested = true; };
    w.Encrypt(target.path());
    EXPECT_TRUE(w->unloaded);
}

TEST(Viewer, LastThreeCharactersInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"/d/report.TXT", true}, {"/d/letter.doc", true}, {"/d/a.Pdf", true}, {"/d/mytxt", true},
        {"/d/x.docx", false},    {"/d/a.txt.bak", false}, {"/d/tx", false},    {"", false},
    };
    for (const auto& [path, opens] : cases) {
        Window w;
        w->OpenInViewer(path);
        EXPECT_EQ(w.launcher.opened.size(), opens ? 1u : 0u) << path;
    }
}

}  // namespace
}  // namespace kolvik::test
