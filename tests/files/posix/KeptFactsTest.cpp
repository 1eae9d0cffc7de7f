// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy keeps of its original on POSIX, and that a finished pass holds nothing open.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "Helpers.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

TEST(KeptFacts, PermissionBitsAndTimeToTheNanosecondNothingHeldOpen) {
    TempDir target;
    WriteFile(target / "nodot", "inhoud");
    ::chmod((target / "nodot").c_str(), 0640);
    SetMtime(target / "nodot",
             std::chrono::system_clock::time_point(std::chrono::seconds(1600000000) +
                                                   std::chrono::nanoseconds(123456789)));
    Window w;
    w.Encrypt(target.path());
    struct stat st {};
    ASSERT_EQ(::stat((target / "nodot_.kol").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    // Once the pass ends nothing of the tree is held open, so the space of deleted originals
    // comes back at once: not a folder, not a leased original.
    w->ReleaseFiles();
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string held = fs::read_symlink(e.path(), ec).string();
        EXPECT_FALSE(held.ends_with(" (deleted)") || held.starts_with(target.path())) << held;
    }
}

}  // namespace
}  // namespace kolvik::test
