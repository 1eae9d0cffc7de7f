// SPDX-License-Identifier: GPL-3.0-or-later
// What a run must see before it changes anything: the folder to itself, a lease on the file,
// originals it may delete, names the file system can hold, and files it may look at.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "PosixFiles.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A row's name, then the direction it is run in.
const auto WithDirection = [](const auto& info) {
    return std::string(std::get<0>(info.param).name) +
           (std::get<1>(info.param) ? "Decrypt" : "Encrypt");
};

// What a run must hold before it writes: the folder to itself, a lease on each file, and
// originals it may delete. Another run holds the folder by flock, or where flock is missing by
// our lock file naming a live process; a lock file of a process that is gone is taken over.
// Without a lease a writer that opens the file after it was read would go unnoticed: whatever
// the reason the kernel gives for refusing it (EACCES: a user who may write the file but does
// not own it), the file is left; a writer already there (EAGAIN) is met on the real kernel in
// RaceTest.cpp. With chattr +a or +i a copy could be made, but the original would never go, and
// in an append-only folder the copy could not be taken back either. What is left has nothing
// written beside it.
// A file the run may not even look at is left: only encryption asks whether to go on without
// access, decryption leaves the file without a word. A name the file system cannot hold
// (exFAT's forbidden characters, bytes it cannot read as text) is refused when the copy is
// named: the new name is unusable, nothing is missing. A file named on its own whose original
// cannot be deleted, or that another program replaces once it was looked at by something that
// is no file, stays as it was: the call reports no success, no decrypted copy is opened to
// view, and the replaced one is left as changed during the run, not as one that never was a
// file.
// From FlaggedFile on, the first file alone is guarded: flagged, not to be looked at, with a
// failing call, or replaced by a FIFO.
enum class Guard {
    Flock,
    LiveLockFile,
    GoneLockFile,
    Lease,
    FlaggedFolder,
    FlaggedFile,
    Denied,
    FailingCall,
    Replaced
};
struct Held {
    const char* name;
    Guard guard;
    bool singleFile = false;
    int error = 0;  // the lease's refusal, or the failing call's
    LeftReason reason = LeftReason::HeldByOtherRun;
    unsigned flag = 0;  // chattr's, on the folder or on the first file
    Call kind = Call::Count;
    int failAt = 0;
    bool noLinks = false;  // as on exFAT through FUSE: the name is claimed by a file of our own
};

class Guarded : public testing::TestWithParam<std::tuple<Held, bool>> {};

TEST_P(Guarded, WhatIsNotHadIsLeft) {
    const auto& [c, decrypting] = GetParam();
    TempDir target;
    const KolPair pairs[] = {PlantOne(target.path(), "a", "a inhoud", decrypting),
                             PlantOne(target.path(), "b", "b inhoud", decrypting)};
    // Of the other kind: passed over as ever, never named as left.
    WriteFile(target / (decrypting ? "los.txt" : "los_txt.kol"), "los");
    const int dir = ::open(target.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dir, 0);
    FaultPlan plan{.kind = c.kind,
                   .failAt = c.failAt,
                   .error = c.error,
                   .tmpfileUnsupported = c.noLinks,
                   .noReplaceUnsupported = c.noLinks,
                   .hardLinksUnsupported = c.noLinks,
                   .leasesRefused = c.guard == Guard::Lease,
                   .leaseError = c.error,
                   .denied = c.guard == Guard::Denied ? pairs[0].name.c_str() : nullptr};
    const std::string first = target / pairs[0].name;
    const std::string flagged = c.guard == Guard::FlaggedFolder ? target.path() : first;
    if (c.guard == Guard::Flock) {
        ASSERT_EQ(::flock(dir, LOCK_EX | LOCK_NB), 0);
    } else if (c.guard == Guard::LiveLockFile || c.guard == Guard::GoneLockFile) {
        plan.flockError = ENOLCK;
        const pid_t holder = c.guard == Guard::LiveLockFile ? 1 : GonePid();
        WriteFile(target / ".kolvik-slot", std::to_string(holder));
    } else if (c.guard == Guard::Replaced) {
        plan.opening = [&](const char* name, int) {
            if (pairs[0].name != name || fs::is_fifo(first)) return;
            fs::remove(first);
            ::mkfifo(first.c_str(), 0600);
        };
    } else if (c.flag != 0 && !Flags(flagged, c.flag)) {
        GTEST_SKIP() << "chattr needs root on a file system that keeps such flags";
    }
    Tree expected = Snapshot(target.path());
    Engine w;
    bool done = false;
    WithFaults(plan, [&] {
        c.singleFile ? void(done = w.RunFile(target.path(), pairs[0].name, decrypting))
                     : w.Run(target.path(), decrypting);
    });
    if (c.flag != 0) {
        ASSERT_TRUE(Flags(flagged, 0, c.flag));
    }
    if (c.guard == Guard::GoneLockFile) expected.erase(".kolvik-slot");  // goes with our run
    if (c.guard == Guard::Replaced) expected[pairs[0].name] = "other";
    const bool firstOnly = c.guard >= Guard::FlaggedFile;
    Left left;
    const std::size_t named = c.singleFile ? 1 : std::size(pairs);
    for (std::size_t i = 0; i < named; ++i) {
        if (c.guard != Guard::GoneLockFile && (i == 0 || !firstOnly)) {
            left.emplace_back(target / pairs[i].name, c.reason);
        } else {
            expected.erase(pairs[i].name);
            expected[pairs[i].copy] = "file:" + pairs[i].copyContent;
        }
    }
    EXPECT_EQ(Snapshot(target.path()), expected);
    EXPECT_EQ(w.events.left, left);
    EXPECT_EQ(w.stats.FilesDone, static_cast<std::int64_t>(named - left.size()));
    if (c.singleFile) {
        EXPECT_EQ(done, left.empty());
    }
    EXPECT_EQ(plan.firedAt, c.failAt != 0 ? c.kind : Call::Count);
    EXPECT_EQ(w.events.accessAsked, c.guard == Guard::Denied && !decrypting ? 1 : 0);
    // Not even a scratch copy; a lock file is tried again and again while it is held.
    if (c.guard == Guard::Lease) {
        EXPECT_EQ(plan.Seen(Call::Create), 0);
    }
    // Ours is given up with the run: the folder can be taken again.
    if (c.guard == Guard::Flock) {
        ASSERT_EQ(::flock(dir, LOCK_UN), 0);
    }
    EXPECT_EQ(::flock(dir, LOCK_EX | LOCK_NB), 0);
    ::close(dir);
}

constexpr LeftReason kUnguarded = LeftReason::Unguarded, kUndeletable = LeftReason::Undeletable,
                     kUnusable = LeftReason::NameUnusable;

INSTANTIATE_TEST_SUITE_P(
    Guards, Guarded,
    testing::Combine(
        testing::Values(
            Held{"Flock", Guard::Flock}, Held{"FlockOneFile", Guard::Flock, true},
            Held{"LiveLockFile", Guard::LiveLockFile},
            Held{"GoneLockFileTakenOver", Guard::GoneLockFile},
            Held{"LeaseNotTheOwner", Guard::Lease, false, EACCES, kUnguarded},
            Held{"NoLeasesHere", Guard::Lease, false, EINVAL, kUnguarded},
            Held{"LeasesNotSupported", Guard::Lease, false, EOPNOTSUPP, kUnguarded},
            Held{"AppendOnlyFolder", Guard::FlaggedFolder, false, 0, kUndeletable, FS_APPEND_FL},
            Held{"AppendOnlyFile", Guard::FlaggedFile, false, 0, kUndeletable, FS_APPEND_FL},
            Held{"ImmutableFile", Guard::FlaggedFile, false, 0, kUndeletable, FS_IMMUTABLE_FL},
            Held{"NoAccess", Guard::Denied, false, 0, LeftReason::AccessDenied},
            Held{"LinkInvalid", Guard::FailingCall, false, EINVAL, kUnusable, 0, Call::Link, 1},
            Held{"LinkIllegalSequence", Guard::FailingCall, false, EILSEQ, kUnusable, 0, Call::Link,
                 1},
            // The first create is the scratch copy, the second the claim on the name.
            Held{"ClaimInvalid", Guard::FailingCall, false, EINVAL, kUnusable, 0, Call::Create, 2,
                 true},
            // exfat-fuse's answer: the folder is still there, so it is the name.
            Held{"ClaimNotFound", Guard::FailingCall, false, ENOENT, kUnusable, 0, Call::Create, 2,
                 true},
            Held{"UndeletableOneFile", Guard::FailingCall, true, EIO, LeftReason::ReadWriteError, 0,
                 Call::Unlink, 1},
            Held{"ReplacedOneFile", Guard::Replaced, true, 0, LeftReason::ChangedDuringRun}),
        testing::Bool()),
    WithDirection);

}  // namespace
}  // namespace kolvik::test
