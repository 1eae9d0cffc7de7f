// SPDX-License-Identifier: GPL-3.0-or-later
// The walk's skip words, its size scan, its stops and its grouped syncs; the viewer choice.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"
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
    Engine w;
    w.Encrypt(target);
    EXPECT_EQ(Snapshot(target), expected);
    Left left;  // in byte order
    for (const char* f :
         {"$Recycle.Bin", "Old_RESTORE_copy", "RECYCLER", "System Volume Information", "recycler2"})
        left.emplace_back(root / "doel/" + f, LeftReason::SkipWordFolder);
    EXPECT_EQ(w.events.left, left);
    EXPECT_EQ(w.stats.FilesSkipped, 6);  // 1 + 2 + 1 + 1 + 1 files in the five folders
    EXPECT_EQ(w.events.skipped.size(), 5u);
    EXPECT_EQ(w.stats.TotalBytes, 511);  // the folder's size covers everything below it

    Engine t;  // a skip word in the target's own path
    fs::rename(target + "/recycler2", root / "x_RESTORE");
    t.Encrypt(root / "x_RESTORE");
    EXPECT_EQ(t.events.left, (Left{{root / "x_RESTORE", LeftReason::SkipWordFolder}}));
    EXPECT_TRUE(fs::exists(root / "x_RESTORE/x.txt"));
    EXPECT_EQ(t.stats.FilesSkipped, 1);
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
    Engine w;
    EXPECT_EQ(w.walk.MeasureTarget(target.path()), big + 10 + 20 + 80 + 160);
}

TEST(Walk, AStopBeforeTheRunTransformsNothing) {
    TempDir target;
    Plant(target.path(), {{"a.txt", 1}, {"sub/b.txt", 1}});
    const auto before = Snapshot(target.path());
    Engine w;
    w.flags.StopRequested = true;
    w.Encrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()), before);
    EXPECT_EQ(w.stats.TotalBytes, 2);
}

}  // namespace
}  // namespace kolvik::test
