// SPDX-License-Identifier: GPL-3.0-or-later
// Right before an original goes, its copy must still be under its name, the very file that was
// written or checked. Another program moves, replaces or writes to it at that moment; or takes
// the original away, and the copy is then the only form of those bytes and stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "EngineKit.h"
#include "FaultCalls.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

enum class Meddle { Moved, Replaced, WrittenTo, EarlierReplaced, EarlierTouched, OriginalGone };
struct Swap {
    const char* name;
    Meddle meddle;
    bool decrypting;
};

class MeddledWithBeforeTheOriginalGoes : public testing::TestWithParam<Swap> {};

TEST_P(MeddledWithBeforeTheOriginalGoes, NoFormOfTheBytesIsLost) {
    const Swap c = GetParam();
    TempDir target;
    const auto [name, copy, content, copyContent] =
        PlantOne(target.path(), "a", Bytes(5000, 3), c.decrypting);
    const bool earlier = c.meddle == Meddle::EarlierReplaced || c.meddle == Meddle::EarlierTouched;
    if (kWindows && c.meddle == Meddle::OriginalGone)
        GTEST_SKIP() << "Windows: the run holds the original open, sharing reading alone, so "
                        "no other program can delete it";
    if (kWindows && !earlier)
        GTEST_SKIP() << "Windows: the run holds its copy open without sharing until the "
                        "original goes, so no other program can move, replace or write it";
    if (earlier) WriteFile(target / copy, copyContent);  // finished by an interrupted run
    const std::string other = "van een ander programma";
    std::string leftAtCopy;  // what the copy's name holds in the end; empty for nothing
    bool read = false, done = false;
    // The proof begins with a look at the original's name on POSIX. On Windows, where the
    // original is held open, it begins with a look at the copy's; an earlier copy is read after
    // the original, through a file of its own, and looked at once more as its times are taken.
    const std::string proofLooksAt = kWindows ? copy : name;
    const bool copyRead = kWindows && earlier;
    long long originalFile = -1;
    int looks = 0;
    FaultPlan plan;
    plan.readToEnd = [&](auto file) {
        if (originalFile == -1) originalFile = static_cast<long long>(file);
        read = !copyRead || static_cast<long long>(file) != originalFile;
        looks = 0;
    };
    plan.statting = [&](const char* n) {
        if (done || !read || n != proofLooksAt || !fs::exists(target / copy)) return;
        if (++looks < (copyRead ? 2 : 1)) return;
        done = true;
        switch (c.meddle) {
            case Meddle::Moved:
                fs::rename(target / copy, target / "elders");
                break;
            case Meddle::Replaced:
            case Meddle::EarlierReplaced:
                // Same bytes under a new inode: still not the file that was checked.
                fs::remove(target / copy);
                WriteFile(target / copy, c.meddle == Meddle::Replaced ? other : copyContent);
                leftAtCopy = c.meddle == Meddle::Replaced ? other : copyContent;
                break;
            case Meddle::WrittenTo:
                std::ofstream(target / copy, std::ios::app) << other;
                leftAtCopy = copyContent + other;
                break;
            case Meddle::EarlierTouched:
                SetMtime(target / copy, std::chrono::system_clock::now() - std::chrono::hours(5));
                leftAtCopy = copyContent;
                break;
            case Meddle::OriginalGone:
                fs::remove(target / name);
                leftAtCopy = copyContent;
                break;
        }
    };
    Engine w;
    WithFaults(plan, [&] { w.Run(target.path(), c.decrypting); });
    ASSERT_TRUE(done);
    Tree expected;
    if (!leftAtCopy.empty()) expected[copy] = "file:" + leftAtCopy;
    if (c.meddle == Meddle::Moved) expected["elders"] = "file:" + copyContent;
    if (c.meddle != Meddle::OriginalGone) expected[name] = "file:" + content;
    EXPECT_EQ(Snapshot(target.path()), expected);
    if (c.meddle == Meddle::OriginalGone) return;
    EXPECT_EQ(w.events.left, (Left{{target / name, LeftReason::ChangedDuringRun}}));
    EXPECT_EQ(w.stats.FilesDone, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Guards, MeddledWithBeforeTheOriginalGoes,
    testing::Values(Swap{"Moved", Meddle::Moved, false}, Swap{"Replaced", Meddle::Replaced, true},
                    Swap{"WrittenTo", Meddle::WrittenTo, false},
                    Swap{"EarlierCopyReplacedByTheSameBytes", Meddle::EarlierReplaced, false},
                    Swap{"EarlierCopyTouched", Meddle::EarlierTouched, true},
                    Swap{"OriginalGoneEncrypting", Meddle::OriginalGone, false},
                    Swap{"OriginalGoneDecrypting", Meddle::OriginalGone, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kolvik::test
