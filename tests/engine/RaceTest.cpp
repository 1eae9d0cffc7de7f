// SPDX-License-Identifier: GPL-3.0-or-later
// Other programs act on the tree while a run is busy. Each case steps in at the exact file call
// where it hurts most, never after a wait: the file layer's table of calls is the seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

TEST(Race, AFolderSwappedForALinkBetweenListingAndDescentIsNotEntered) {
    TempDir root;
    const std::string top = root / "top", outside = root / "outside";
    Plant(root.path(), {{"top/a/x.txt", 1}, {"top/b/y.txt", 2}, {"outside/z.txt", 3}});
    FaultPlan plan;
    // a is done, so the walk has listed top and opens b next.
    plan.opening = [&](const char* name, int flags) {
        if (std::string(name) != "b" || !(flags & O_DIRECTORY) || fs::is_symlink(top + "/b") ||
            !fs::exists(top + "/a/x_txt.kol"))
            return;
        fs::rename(top + "/b", root / "b-weg");
        fs::create_directory_symlink(outside, top + "/b");
    };
    Engine w;
    WithFaults(plan, [&] { w.Encrypt(top); });
    EXPECT_EQ(Snapshot(root.path()), (Tree{{"outside", "dir"},
                                           {"outside/z.txt", "file:xxx"},
                                           {"b-weg", "dir"},
                                           {"b-weg/y.txt", "file:xx"},
                                           {"top", "dir"},
                                           {"top/a", "dir"},
                                           {"top/a/x_txt.kol", RefKolEntry("txt", "x")},
                                           {"top/b", "link:" + outside}}));
    EXPECT_EQ(w.events.left, (Left{{top + "/b", LeftReason::FolderBecameLink}}));
    EXPECT_EQ(w.stats.FilesSkipped, 0);
    EXPECT_EQ(w.report.left, 1);
    EXPECT_EQ(w.events.skipped, std::vector<std::string>{top + "/b"});
}

// Another program appending a line: it opens the file while it is made (which breaks a lease
// the run holds and waits until the run gives it up), and writes when let, at once or later.
class Writer {
  public:
    Writer(const std::string& path, const std::string& line, bool atOnce) {
        int opened[2], go[2];
        if (::pipe(opened) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe");
        if ((child_ = ::fork()) == 0) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            char c = 0;
            const bool ok = fd >= 0 && ::write(opened[1], "o", 1) == 1 && ::read(go[0], &c, 1) == 1;
            ::_exit(ok && ::write(fd, line.data(), line.size()) == ssize_t(line.size()) ? 0 : 1);
        }
        ::close(opened[1]);
        ::close(go[0]);
        char c = 0;
        EXPECT_EQ(::read(opened[0], &c, 1), 1) << "the writer did not open the file";
        ::close(opened[0]);
        go_ = go[1];
        if (atOnce) Finish();
    }
    ~Writer() { Finish(); }
    void Finish() {  // lets it write, and waits until it has
        if (child_ <= 0) return;
        (void)!::write(go_, "g", 1);
        ::close(go_);
        int status = 0;
        while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process failed";
        child_ = 0;
    }

  private:
    pid_t child_ = 0;
    int go_ = -1;
};

// Appended to by another program after it was read and before its deletion: as soon as the
// copy is read, or at the last look before the deletion. A writer that only opens the file then
// and writes after the run is told by the lease alone.
enum class Writes { AtOnce, AfterTheRun };
struct Change {
    const char* name;
    bool decrypting, singleFile;
    Writes writes;
    bool atLastLook;
};

class ChangedDuringTheRun : public testing::TestWithParam<Change> {};

TEST_P(ChangedDuringTheRun, TheOriginalKeepsWhatWasWrittenAndItsCopyGoes) {
    const Change c = GetParam();
    TempDir folder;
    const std::string plain = Bytes(3 << 20, 11), line = "nog een regel\n";
    const KolPair p = PlantOne(folder.path(), "groot", plain, c.decrypting);
    const std::string path = folder / p.name;
    std::unique_ptr<Writer> writer;
    const auto write = [&] {
        if (!writer) writer = std::make_unique<Writer>(path, line, c.writes == Writes::AtOnce);
    };
    FaultPlan plan;
    plan.statting = [&](const char* n) {
        if (c.atLastLook && n == p.name && fs::exists(folder / p.copy)) write();
    };
    plan.readToEnd = [&](int fd) {
        const bool ours = fs::read_symlink("/proc/self/fd/" + std::to_string(fd)) == path;
        if (!c.atLastLook && ours) write();
    };
    Engine w;
    WithFaults(plan, [&] {
        c.singleFile ? (void)w.RunFile(folder.path(), p.name, c.decrypting)
                     : w.Run(folder.path(), c.decrypting);
    });
    ASSERT_TRUE(writer);
    writer.reset();
    EXPECT_EQ(plan.leasesGranted, 1);
    EXPECT_TRUE(Snapshot(folder.path()) == (Tree{{p.name, "file:" + p.content + line}}));
    EXPECT_EQ(w.events.left, (Left{{path, LeftReason::ChangedDuringRun}}));
    EXPECT_EQ(w.stats.FilesSkipped, 1);
    EXPECT_EQ(w.stats.FilesDone, 0);
}

INSTANTIATE_TEST_SUITE_P(Race, ChangedDuringTheRun,
                         testing::Values(Change{"Lease", false, false, Writes::AtOnce, false},
                                         Change{"LeaseWriterStillOpen", false, false,
                                                Writes::AfterTheRun, false},
                                         Change{"LeaseWriterOpensAtTheLastLook", false, false,
                                                Writes::AfterTheRun, true},
                                         Change{"SingleFile", false, true, Writes::AtOnce, false},
                                         Change{"Decrypting", true, false, Writes::AtOnce, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The third file's copy fails for want of space while the first two wait for their group's
// sync: it is tried again once their originals are gone, and here fails again. That the retry
// then fits is shown on a real full disk by tests/reliability/full_disk.sh, both ways. Each
// copy of these 1000 bytes takes a single write (of its header, data and trailing byte).
TEST(Race, ADiskThatStaysFullStopsTheRunAtTheFileThatDoesNotFit) {
    TempDir target;
    for (const std::string f : {"f1", "f2", "f3", "f4", "f5"})
        Plant(target.path(), {{"sub/" + f + ".txt", 1000}});
    Plant(target.path(), {{"zz/later.txt", 6}});
    auto expected = Snapshot(target.path());
    for (const std::string stem : {"sub/f1", "sub/f2"}) {
        expected.erase(stem + ".txt");
        expected[stem + "_txt.kol"] = RefKolEntry("txt", std::string(1000, 'x'));
    }
    FaultPlan plan{.kind = Call::Write, .failAt = 2 + 1, .error = ENOSPC, .failOnward = true};
    FaultInjection inject(plan);
    Engine w;
    w.Encrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()), expected);
    EXPECT_EQ(w.events.fullDisks, std::vector<std::string>{target / "sub"});
    EXPECT_TRUE(w.report.diskFull);
    // The rest of the folder and the folder after it are named as never reached.
    EXPECT_EQ(w.events.left, (Left{{target / "sub/f3.txt", LeftReason::DiskFull},
                                   {target / "sub/f4.txt", LeftReason::NotReached},
                                   {target / "sub/f5.txt", LeftReason::NotReached},
                                   {target / "zz", LeftReason::NotReached}}));
    EXPECT_EQ(w.stats.FilesDone, 2);
    EXPECT_EQ(w.stats.FilesSkipped, 1);
    // f1, f2, and f3 twice: before and after its group was completed. Nothing after it.
    EXPECT_EQ(plan.Seen(Call::Create), 4);
}

}  // namespace
}  // namespace kolvik::test
