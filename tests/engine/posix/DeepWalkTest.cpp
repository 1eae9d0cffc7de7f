// SPDX-License-Identifier: GPL-3.0-or-later
// The walk on trees that only the POSIX layer can build or guard: folders deeper than any path
// may name, and a folder whose listing is taken away while the walk is in it.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "EngineKit.h"
#include "Reference.h"

namespace kolvik::test {
namespace {

int OpenDescriptors() {
    const std::filesystem::directory_iterator listing("/proc/self/fd"), end;
    return static_cast<int>(std::distance(listing, end)) - 1;  // less the listing's own
}

// The folder depth levels of "verdieping" below root (11 bytes a level), opened by descriptor
// since its path soon passes PATH_MAX; with make, the levels are made on the way down.
int OpenAtDepth(const std::string& root, int depth, bool make = false) {
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (make) ::mkdirat(fd, "verdieping", 0755);
        const int next = ::openat(fd, "verdieping", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

// A chain of depth folders with a small file at the bottom.
void PlantChain(const std::string& root, int depth) {
    const int fd = OpenAtDepth(root, depth, true);
    ASSERT_GE(fd, 0);
    WriteFile("/proc/self/fd/" + std::to_string(fd) + "/bodem.txt", "bodem");
    ::close(fd);
}

bool ExistsAtDepth(const std::string& root, int depth, const char* name) {
    const int fd = OpenAtDepth(root, depth);
    struct stat st {};
    const bool found = fd >= 0 && ::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (fd >= 0) ::close(fd);
    return found;
}

struct DeepTree {  // rm walks from each open parent too, where a path call cannot reach
    std::string top;
    ~DeepTree() { (void)!std::system(("rm -rf '" + top + "'").c_str()); }
};

// A chain five times deeper than PATH_MAX allows, walked from each open parent both ways. A
// descriptor per level would need 2,000 at the bottom, past a desktop's limit of 1,024 at
// 20,000 levels; the walk keeps one in 64 open, so about 31 here, plus a few for the file in
// work and the pending group.
TEST(DeepWalk, FarPastAnyPathWithDescriptorsBoundedBelowTwoThousandLevels) {
    constexpr int kDepth = 2000;
    TempDir root;
    const DeepTree remove{root.path()};
    PlantChain(root.path(), kDepth);
    Engine w;
    const int before = OpenDescriptors();
    int most = before;
    w.events.onYield = [&] { most = std::max(most, OpenDescriptors()); };
    w.Encrypt(root.path());
    // Once the pass ends nothing is held open, so the space of deleted originals comes back at
    // once: not a folder, not a leased original.
    EXPECT_EQ(OpenDescriptors(), before);
    const int bottom = OpenAtDepth(root.path(), kDepth);
    const std::string at = "/proc/self/fd/" + std::to_string(bottom) + "/";
    EXPECT_EQ(ReadFile(at + "bodem_txt.kol"), RefEncrypted("geheim", "txt", "bodem"));
    EXPECT_FALSE(ExistsAtDepth(root.path(), kDepth, "bodem.txt"));
    EXPECT_TRUE(w.events.left.empty());
    EXPECT_EQ(w.stats.FilesDone, 1);
    EXPECT_EQ(w.stats.TotalBytes, 5);
    EXPECT_LT(most - before, kDepth / 64 + 16);
    // Every level was met once on the way down and yielded at its end.
    EXPECT_GT(most, before);
    Engine().Decrypt(root.path());
    EXPECT_EQ(ReadFile(at + "bodem.txt"), "bodem");
    ::close(bottom);
}

// Levels between every 64th are closed while the walk is below them and opened again by name
// on the way back. Renamed meanwhile, with a stranger at its name, level 1 is not entered
// again: the stranger's folder "z" is never walked, the moved one's is left as it is, and the
// folder is named once.
TEST(DeepWalk, AClosedLevelMovedAwayIsNotEnteredAgain) {
    TempDir root;
    Plant(root / "d/z", {{"f.txt", 3}});
    Plant(root / "vreemd/z", {{"g.txt", 4}});
    PlantChain(root / "d", 70);
    Engine w;
    bool moved = false;
    w.events.onYield = [&] {
        if (!moved && ExistsAtDepth(root / "d", 70, "bodem_txt.kol")) {
            std::filesystem::rename(root / "d", root / "weg");
            std::filesystem::rename(root / "vreemd", root / "d");
            moved = true;
        }
    };
    w.Encrypt(root.path());
    ASSERT_TRUE(moved);
    // vreemd was listed at the start and is gone by the time its turn comes.
    EXPECT_EQ(w.events.left, (Left{{root / "d", LeftReason::FolderUnreadable},
                                   {root / "vreemd", LeftReason::FolderUnreadable}}));
    EXPECT_EQ(ReadFile(root / "weg/z/f.txt"), "xxx");
    EXPECT_EQ(ReadFile(root / "d/z/g.txt"), "xxxx");
}

// The second pass works in the folder the first pass opened: the target swapped for a link
// between the passes cannot send it elsewhere.
TEST(DeepWalk, TheSecondPassWorksInTheFolderTheFirstOpened) {
    TempDir root;
    const std::string target = root / "doel";
    Plant(target, {{"a.txt", 1}, {"sub/b.txt", 2}});
    Plant(root / "elders", {{"sub/c.txt", 3}});
    Engine w;
    bool swapped = false;
    w.events.onYield = [&] {
        if (!swapped && std::filesystem::exists(target + "/a_txt.kol")) {
            std::filesystem::rename(target, root / "verplaatst");
            std::filesystem::create_directory_symlink(root / "elders", target);
            swapped = true;
        }
    };
    w.Encrypt(target);
    ASSERT_TRUE(swapped);
    EXPECT_TRUE(std::filesystem::exists(root / "verplaatst/sub/b_txt.kol"));
    EXPECT_EQ(ReadFile(root / "elders/sub/c.txt"), "xxx");
}

// sub's files are done and then it loses its read permission (0300): its subfolders were
// listed with its files, so deeper is still reached through sub's search permission, and its
// file is transformed rather than passed over in silence. As nobody: root reads anything.
TEST(DeepWalk, AFolderMadeUnlistableAfterItsFilesStillHasItsSubfoldersWalked) {
    TempDir root;
    const std::string target = root / "doel";
    Plant(target, {{"sub/a.txt", 3}, {"sub/deeper/b.txt", 5}, {"z/c.txt", 7}});
    std::filesystem::permissions(root.path(), std::filesystem::perms::all);
    for (const auto& e : std::filesystem::recursive_directory_iterator(target))
        ASSERT_EQ(::lchown(e.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
    EXPECT_EXIT(
        {
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                std::_Exit(2);
            Engine w;
            bool taken = false;
            w.events.onYield = [&] {
                if (!taken && std::filesystem::exists(target + "/sub/a_txt.kol")) {
                    taken = ::chmod((target + "/sub").c_str(), 0300) == 0;
                }
            };
            w.Encrypt(target);
            const bool walked = std::filesystem::exists(target + "/sub/deeper/b_txt.kol") &&
                                std::filesystem::exists(target + "/z/c_txt.kol");
            std::_Exit(taken && walked && w.events.left.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    ::chmod((target + "/sub").c_str(), 0755);
}

}  // namespace
}  // namespace kolvik::test
