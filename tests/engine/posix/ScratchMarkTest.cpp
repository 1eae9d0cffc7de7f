// SPDX-License-Identifier: GPL-3.0-or-later
// Kolvik removes only what carries its mark and was left by a run that is gone: a file of the
// user's is never taken for a scratch copy or for a claim of a new name.
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "PosixFiles.h"
#include "Reference.h"

namespace kolvik::test {
namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef";
// 64-bit FNV-1a of the name a scratch copy was to get, worked out apart: of "a_txt.kol" and of
// "b_txt.kol" ("a" gives af63dc4c8601ec8c, the published test vector).
const std::string kForA = "dc6e377c795ce26f", kForB = "3df490294d8cffae";

bool CanMark(const TempDir& dir) {
    WriteFile(dir / "probe", "");
    const bool ok = SetXattr(dir / "probe", "user.kolvik", "1");
    ::unlink((dir / "probe").c_str());
    return ok;
}

enum class Owner { None, Gone, Live, SameIdOtherRun };  // SameIdOtherRun: this process's id

struct LeftoverCase {
    const char* what;
    bool tokenName;  // ".kolvik-tijdel-PID-TOKEN-NAME", else the old ".kolvik-tijdel-PID-N"
    Owner owner;     // who the name and the mark say
    bool marked;
    bool xattrs;  // the file system keeps them
    bool removed;
    std::string content = "half af";
    // Also published as a_txt.kol, which an encryption passes over: killed between the link
    // and the unlink of the scratch name.
    bool published = false;
};

class Leftovers : public testing::TestWithParam<LeftoverCase> {};

TEST_P(Leftovers, OnlyAMarkedFileOfARunThatIsGoneIsRemoved) {
    const LeftoverCase c = GetParam();
    TempDir target;
    if (c.xattrs && !CanMark(target)) GTEST_SKIP() << "no user xattrs on " << target.path();
    const pid_t pid = c.owner == Owner::Gone   ? GonePid()
                      : c.owner == Owner::Live ? 1  // lives as long as the system
                                               : ::getpid();
    const std::string suffix = c.tokenName ? kToken + "-" + kForA : "1";
    const std::string name = ".kolvik-tijdel-" + std::to_string(pid) + "-" + suffix;
    const std::string path = target / name;
    WriteFile(path, c.content);
    // A mark of another token than any this process draws: with our own id, a run before us.
    ASSERT_TRUE(!c.marked || SetXattr(path, "user.kolvik", std::to_string(pid) + "-" + kToken));
    if (c.published) {
        ASSERT_EQ(::link(path.c_str(), (target / "a_txt.kol").c_str()), 0);
    }
    Engine w;
    FaultPlan plan;
    {
        const FakeMetaCalls fs({.xattrError = c.xattrs ? 0 : ENOTSUP});  // or none kept here
        WithFaults(plan, [&] { w.Encrypt(target.path()); });
    }
    // What a removed leftover held may be plain text: it is overwritten first, unless it is
    // the published copy too.
    const bool wiped = c.tokenName && c.removed && !c.published;
    EXPECT_EQ(plan.overwritten, wiped ? static_cast<std::int64_t>(c.content.size()) : 0);
    Tree expected;
    if (c.published) expected["a_txt.kol"] = "file:" + c.content;
    if (!c.tokenName) {
        // Any other name is a file like every other: named by its first dot.
        expected["_" + name.substr(1) + ".kol"] = RefKolEntry(name.substr(1), c.content);
    } else if (!c.removed) {
        expected[name] = "file:" + c.content;
    }
    EXPECT_EQ(Snapshot(target.path()), expected);
    EXPECT_TRUE(w.events.left.empty());
    if (c.published && c.removed) {
        EXPECT_EQ(Xattr(target / "a_txt.kol", "user.kolvik"), std::nullopt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, Leftovers,
    testing::Values(
        LeftoverCase{"OldNameOfAGoneRun", false, Owner::Gone, false, true, false},
        LeftoverCase{"OldNameMarked", false, Owner::Gone, true, true, false},
        LeftoverCase{"MarkedGone", true, Owner::Gone, true, true, true},
        LeftoverCase{"MarkedLive", true, Owner::Live, true, true, false},
        LeftoverCase{"MarkedGoneAndPublished", true, Owner::Gone, true, true, true, "half af",
                     true},
        LeftoverCase{"MarkedBySameIdEarlier", true, Owner::SameIdOtherRun, true, true, true},
        LeftoverCase{"UnmarkedWhereMarksAreKept", true, Owner::Gone, false, true, false},
        // Killed between creating it and marking it: nothing written yet.
        LeftoverCase{"UnmarkedEmptyWhereMarksAreKept", true, Owner::Gone, false, true, true, ""},
        LeftoverCase{"UnmarkedEmptyOfALiveRun", true, Owner::Live, false, true, false, ""},
        LeftoverCase{"TokenNameGoneNoXattrs", true, Owner::Gone, false, false, true},
        LeftoverCase{"TokenNameLiveNoXattrs", true, Owner::Live, false, false, false},
        LeftoverCase{"TokenNameOwnIdNoXattrs", true, Owner::SameIdOtherRun, false, false, false}),
    [](const auto& info) { return std::string(info.param.what); });

struct ClaimCase {
    const char* what;
    std::string content;  // of a file found at the new name; GONE is a pid no process has
    bool takenOver;
    std::string scratchFor = "";  // a gone run's scratch copy beside it, for this name
};

class Claims : public testing::TestWithParam<ClaimCase> {};

// Without O_TMPFILE, RENAME_NOREPLACE and hard links, a copy is named by renaming it over a
// claim; a file found at the new name is only taken over when it is such a claim of a run that
// is gone.
TEST_P(Claims, AFileAtTheNewNameIsTakenOverOnlyWhenAGoneRunClaimedIt) {
    const ClaimCase c = GetParam();
    TempDir target;
    WriteFile(target / "a.txt", "inhoud");
    WriteFile(target / "b.txt", "tweede");
    const std::string gone = std::to_string(GonePid());
    std::string content = c.content;
    if (const auto at = content.find("GONE"); at != std::string::npos) content.replace(at, 4, gone);
    WriteFile(target / "a_txt.kol", content);
    if (!c.scratchFor.empty()) {
        if (!CanMark(target)) GTEST_SKIP() << "no user xattrs on " << target.path();
        const std::string scratch =
            target / (".kolvik-tijdel-" + gone + "-" + kToken + "-" + c.scratchFor);
        WriteFile(scratch, "half af");
        ASSERT_TRUE(SetXattr(scratch, "user.kolvik", gone + "-" + kToken));
    }
    FaultPlan plan{
        .tmpfileUnsupported = true, .noReplaceUnsupported = true, .hardLinksUnsupported = true};
    Engine w;
    {
        // One of those whose new names may need claiming (exFAT, NTFS through FUSE, overlayfs).
        const FakeMetaCalls fs({.fuse = true});
        const FaultInjection inject(plan);
        w.Encrypt(target.path());
    }
    Tree expected{{"b_txt.kol", RefKolEntry("txt", "tweede")}};
    if (c.takenOver) {
        expected["a_txt.kol"] = RefKolEntry("txt", "inhoud");
        EXPECT_TRUE(w.events.left.empty());
    } else {
        expected["a.txt"] = "file:inhoud";
        expected["a_txt.kol"] = "file:" + content;
        EXPECT_EQ(w.events.left, (Left{{target / "a.txt", LeftReason::NameTaken}}));
    }
    EXPECT_EQ(Snapshot(target.path()), expected);
    // A published copy is the user's: its scratch file's mark is gone.
    EXPECT_EQ(Xattr(target / "b_txt.kol", "user.kolvik"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Claims, Claims,
    testing::Values(ClaimCase{"Empty", "", false},
                    ClaimCase{"OfAGoneRun", "kolvik-claim GONE-" + kToken + "\n", true},
                    ClaimCase{"OfALiveRun", "kolvik-claim 1-" + kToken + "\n", false},
                    // A byte short of a claim, or one more: the user's.
                    ClaimCase{"CutShort", "kolvik-claim GONE-" + kToken, false},
                    ClaimCase{"Longer", "kolvik-claim GONE-" + kToken + "\nx", false},
                    ClaimCase{"ShortToken", "kolvik-claim GONE-" + kToken.substr(1) + "\n", false},
                    // Killed before the claim held its mark: its scratch copy tells.
                    ClaimCase{"EmptyBesideItsScratch", "", true, kForA},
                    ClaimCase{"EmptyBesideAnotherNamesScratch", "", false, kForB}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace kolvik::test
