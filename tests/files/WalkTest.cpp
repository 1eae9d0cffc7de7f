// SPDX-License-Identifier: GPL-3.0-or-later
// The walk's skip words, its size scan, its stops and its grouped syncs; the viewer choice.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A folder whose path holds a skip word is left whole, with one report and one log line; a
// file named on its own there is left by its own path test. Below the target the test is on
// the whole path, so "recycler2" and "Old_RESTORE_copy" count. Every file such a folder holds
// counts as skipped.
TEST(Walk, SkipWordFoldersAreLeftWholeWithOneLine) {
    TempDir root;
    const std::string target = root / "doel";
    Plant(target, {{"top.txt", 1},
                   {"RECYCLER/direct.txt", 2},
                   {"RECYCLER/deep/below.txt", 4},
                   {"recycler2/x.txt", 8},
                   {"Old_RESTORE_copy/y.txt", 16},
                   {"System Volume Information/z.txt", 32},
                   {"normal/a.txt", 64},
                   {"normal/deeper/b.txt", 128},
                   {"$Recycle.Bin/S-1-5-21/r.txt", 256}});
    auto expected = Snapshot(target);
    for (const std::string f : {"top", "normal/a", "normal/deeper/b"}) {
        expected.erase(f + ".txt");
        expected[f + "_txt.kol"] = RefKolEntry("txt", ReadFile(target + "/" + f + ".txt"));
    }
    Window w;
    w.Encrypt(target);
    EXPECT_EQ(Snapshot(target), expected);
    Left left;  // in byte order
    for (const char* f :
         {"$Recycle.Bin", "Old_RESTORE_copy", "RECYCLER", "System Volume Information", "recycler2"})
        left.emplace_back(root / "doel/" + f, LeftReason::SkipWordFolder);
    EXPECT_EQ(w.left, left);
    EXPECT_EQ(w->session.Stats().FilesSkipped, 6);  // 1 + 2 + 1 + 1 + 1 files in the five folders
    EXPECT_EQ(w.Skips().size(), 5u);
    EXPECT_EQ(w->session.Stats().TotalBytes, 511);  // the folder's size covers everything below it

    Window t;  // a skip word in the target's own path
    fs::rename(target + "/recycler2", root / "x_RESTORE");
    t.Encrypt(root / "x_RESTORE");
    EXPECT_EQ(t.left, (Left{{root / "x_RESTORE", LeftReason::SkipWordFolder}}));
    EXPECT_TRUE(fs::exists(root / "x_RESTORE/x.txt"));
    EXPECT_EQ(t->session.Stats().FilesSkipped, 1);
}

// The scan that stands in for an unreadable size leaves out folders named by a skip word as a
// whole, and counts sizes past 2 GiB exactly.
TEST(Walk, MeasureTargetUsesTheNameTestAndSixtyFourBits) {
    TempDir target;
    Plant(target.path(), {{"f", 10},
                          {"My RECYCLER/f", 20},
                          {"recycler/f", 40},
                          {"sub/f", 80},
                          {"sub/RECYCLED/f", 160},
                          {"big.bin", 0}});
    const std::int64_t big = (std::int64_t{3} << 30) + 7;  // sparse: no disk used
    fs::resize_file(target / "big.bin", big);
    Window w;
    w->lblFiles.text = "old";
    EXPECT_EQ(w->session.MeasureFolder(target.path()), big + 10 + 20 + 80 + 160);
    EXPECT_EQ(w->lblFiles.text, "");
}

TEST(Walk, AStopBeforeTheRunTransformsNothingAndClearsCaptions) {
    TempDir target;
    Plant(target.path(), {{"a.txt", 1}, {"sub/b.txt", 1}});
    const auto before = Snapshot(target.path());
    Window w;
    w->session.RequestStop();
    w->lblTijd.text = w->lblFiles.text = w->lblTotalFiles.text = "stale";
    w.Encrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()), before);
    EXPECT_EQ(w->lblTijd.text + w->lblFiles.text + w->lblTotalFiles.text, "");
    EXPECT_EQ(w->session.Stats().TotalBytes, 2);
}

// The last three characters in any case, no dot needed; anything else is not shown.
TEST(Viewer, KindByTheLastThreeCharactersInAnyCase) {
    const std::pair<std::optional<ViewKind>, std::vector<std::string>> byKind[] = {
        {ViewKind::Text, {"/d/report.TXT", "/d/mytxt"}},
        {ViewKind::Document, {"/d/letter.doc", "/d/nota.DoC"}},
        {ViewKind::Pdf, {"/d/a.Pdf", "pdf"}},
        {std::nullopt, {"/d/x.docx", "/d/a.txt.bak", "/d/a.txt ", "tx", ""}}};  // not shown
    for (const auto& [kind, paths] : byKind) {
        for (const std::string& path : paths) {
            TestWindow w;
            w->OpenInViewer(path);
            using Viewed = std::vector<std::pair<ViewKind, std::string>>;
            EXPECT_EQ(w.launcher.viewed, (kind ? Viewed{{*kind, path}} : Viewed{})) << path;
        }
    }
}

}  // namespace
}  // namespace kolvik::test
