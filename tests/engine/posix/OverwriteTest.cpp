// SPDX-License-Identifier: GPL-3.0-or-later
// What only the POSIX layer meets when it overwrites a strong run's originals: a mapping that
// outlives its descriptor, a second name that shows the same bytes, and the holes of a sparse
// file. The rest is in ../OverwriteTest.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>

#include "EngineKit.h"
#include "FaultCalls.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A mapping keeps the file open although its descriptor is closed: it would show zeros. A
// second name outside the tree would show them too; such a file is never encrypted at all.
TEST(Overwrite, NeverWhatAMappingOrAnotherNameStillShows) {
    const struct {
        const char* name;
        bool mapped;  // else linked
        LeftReason reported;
    } cases[] = {
        {"mapped elsewhere", true, LeftReason::NotOverwrittenInUse},
        {"a second name", false, LeftReason::SeveralNames},
    };
    const std::string held = Bytes(5000, 1);
    for (const auto& c : cases) {
        TempDir target, elsewhere;
        const std::string path = target / "vast.txt", other = elsewhere / "ook.txt";
        WriteFile(path, held);
        void* map = MAP_FAILED;
        if (c.mapped) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            map = ::mmap(nullptr, held.size(), PROT_READ, MAP_SHARED, fd, 0);
            ::close(fd);
            ASSERT_NE(map, MAP_FAILED);
        } else {
            ASSERT_EQ(::link(path.c_str(), other.c_str()), 0);
        }
        FaultPlan plan;
        Engine w;
        WithFaults(plan, [&] { w.EncryptStrong(target.path()); });
        EXPECT_EQ(fs::exists(PathOf(target / "vast_txt.kol")), c.mapped) << c.name;
        EXPECT_EQ(plan.overwritten, 0) << c.name;
        EXPECT_EQ(w.events.left, (Left{{path, c.reported}})) << c.name;
        const std::string shown =
            c.mapped ? std::string(static_cast<const char*>(map), held.size()) : ReadFile(other);
        EXPECT_TRUE(shown == held) << c.name;
        if (c.mapped) ::munmap(map, held.size());
    }
}

// A sparse file's holes are read as zeros and stay holes: writing them would fill the disk
// with the size of every sparse image and gain nothing.
TEST(Overwrite, OnlyTheDataOfASparseFile) {
    TempDir target;
    constexpr off_t kSize = off_t{16} << 20, kAt = off_t{8} << 20;
    {
        const int fd = ::open((target / "schaars.img").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "data", 4, kAt), 4);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        ::close(fd);
    }
    FaultPlan plan;
    Engine w;
    WithFaults(plan, [&] { w.EncryptStrong(target.path()); });
    EXPECT_TRUE(fs::exists(PathOf(target / "schaars_img.kol")));
    EXPECT_FALSE(plan.overwroteData);
    // At least the block that holds the data; far less than the whole.
    EXPECT_GE(plan.overwritten, 4);
    EXPECT_LE(plan.overwritten, std::int64_t{1} << 20);
}

}  // namespace
}  // namespace kolvik::test
