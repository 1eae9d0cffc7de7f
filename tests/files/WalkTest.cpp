// The walk's order, its skip-word tests, its size scan and its stops; the viewer choice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "FaultCalls.h"
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
                   {"RECYCLER/direct.txt", 2},      // handed over, left alone by its path test
                   {"RECYCLER/deep/below.txt", 4},  // never visited
                   {"recycler2/x.txt", 8},          // "RECYCLER" inside a name: left alone
                   {"Old_RESTORE_copy/y.txt", 16},
                   {"System Volume Information/z.txt", 32},
                   {"normal/a.txt", 64},
                   {"normal/deeper/b.txt", 128}});
    Window w;
    w.Encrypt(target.path());
    for (const char* kept : {"RECYCLER/direct.txt", "RECYCLER/deep/below.txt", "recycler2/x.txt",
                             "Old_RESTORE_copy/y.txt", "System Volume Information/z.txt"})
        EXPECT_TRUE(fs::exists(target / kept)) << kept;
    for (const char* done : {"top_txt.kol", "normal/a_txt.kol", "normal/deeper/b_txt.kol"})
        EXPECT_TRUE(fs::exists(target / done)) << done;
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->TotalBytes, 255);  // the folder's size covers everything below it
}

TEST(Walk, MeasureTargetUsesTheNameTest) {
    TempDir target;
    Plant(target, {{"f", 10},
                   {"My RECYCLER/f", 20},
                   {"recycler/f", 40},
                   {"sub/f", 80},
                   {"sub/RECYCLED/f", 160}});
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

TEST(Walk, ExitEndsTheFolderLevelAndClosesTheWindow) {
    TempDir target;
    Plant(target, {{"a/x.txt", 1}, {"b/y.txt", 1}});
    Window w;
    w.screen.onYield = [&] { w->ExitRequested = true; };
    w.Encrypt(target.path());
    EXPECT_TRUE(w->unloaded);
}

// Originals wait for one sync across folders: the pass over the target's own files ends with
// one, a group ends at 256 files or when a 65th folder would have to stay open.
struct Grouping {
    int folders, filesPerFolder, topFiles, syncs;
};

class SyncGroups : public testing::TestWithParam<Grouping> {};

TEST_P(SyncGroups, OneSyncServesManyFolders) {
    const Grouping g = GetParam();
    TempDir target;
    std::vector<std::pair<std::string, std::size_t>> files;
    for (int t = 0; t < g.topFiles; ++t) files.push_back({"top" + std::to_string(t), 3});
    for (int d = 0; d < g.folders; ++d)
        for (int f = 0; f < g.filesPerFolder; ++f)
            files.push_back({"d" + std::to_string(100 + d) + "/f" + std::to_string(f), 5});
    Plant(target, files);
    FaultPlan plan;
    FaultInjection count(plan);
    Window w;
    w.Encrypt(target.path());
    EXPECT_EQ(w->FilesDone, static_cast<std::int64_t>(files.size()));
    EXPECT_EQ(plan.seen[static_cast<int>(Call::Syncfs)], g.syncs);
    EXPECT_EQ(plan.seen[static_cast<int>(Call::Unlink)], static_cast<int>(files.size()));
    for (const auto& [path, size] : files) EXPECT_FALSE(fs::exists(target / path)) << path;
}

INSTANTIATE_TEST_SUITE_P(Walk, SyncGroups,
                         testing::Values(Grouping{3, 10, 0, 1}, Grouping{3, 10, 2, 2},
                                         Grouping{64, 1, 0, 1}, Grouping{65, 1, 0, 2},
                                         Grouping{1, 256, 0, 1}, Grouping{2, 150, 0, 2},
                                         Grouping{1, 257, 1, 3}));

TEST(Viewer, LastThreeCharactersInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"/d/report.TXT", true}, {"/d/letter.doc", true}, {"/d/a.Pdf", true}, {"/d/mytxt", true},
        {"/d/x.docx", false},    {"/d/a.txt.bak", false}, {"/d/tx", false},   {"", false}};
    for (const auto& [path, opens] : cases) {
        Window w;
        w->OpenInViewer(path);
        EXPECT_EQ(w.launcher.opened.size(), opens ? 1u : 0u) << path;
    }
}

}  // namespace
}  // namespace kolvik::test
