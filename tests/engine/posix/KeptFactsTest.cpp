// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy keeps of its original on POSIX.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "EngineKit.h"
#include "PosixFiles.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// The owner may read and write, nobody (65534) may read, the owning group and others nothing.
// As the kernel keeps an ACL in system.posix_acl_*: version 2, then per entry, sorted by tag,
// the tag (owner 1, user 2, owning group 4, mask 0x10, others 0x20), the permission bits and
// the id (none: ffffffff), all little-endian.
const std::string kNobodyReadsGroupDoesNot(
    "\x02\x00\x00\x00"
    "\x01\x00\x06\x00\xff\xff\xff\xff"
    "\x02\x00\x04\x00\xfe\xff\x00\x00"
    "\x04\x00\x00\x00\xff\xff\xff\xff"
    "\x10\x00\x04\x00\xff\xff\xff\xff"
    "\x20\x00\x00\x00\xff\xff\xff\xff",
    44);

// A version 2 capability set: CAP_NET_BIND_SERVICE (10) permitted and effective.
const std::string kBindCapability(
    "\x01\x00\x00\x02\x00\x04\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00",
    20);

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : ~0u;
}

void SetTimes(const std::string& path, timespec accessed, timespec modified) {
    const timespec times[2] = {accessed, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}
// 1902-01-01 is 24,837 days before 1970 (68 years, 17 of them leap), about as early as ext4
// and XFS go; 2300-01-01 is 120,530 days after (330 years, 82 divisible by 4 less 2100 and
// 2200).
constexpr std::int64_t k1902 = -24837LL * 86400, k2300 = 120530LL * 86400;

// Encrypts the folder's a.txt and decrypts it again; check sees the copy, then the plain file.
void RoundTrip(const TempDir& target, const std::function<void(const std::string&)>& check) {
    Engine w;
    w.Encrypt(target.path());
    ASSERT_TRUE(w.events.left.empty());
    check(target / "a_txt.kol");
    Engine back;
    back.Decrypt(target.path());
    ASSERT_TRUE(back.events.left.empty());
    EXPECT_EQ(ReadFile(target / "a.txt"), "inhoud");
    check(target / "a.txt");
}

std::string Refused(const std::string& what) { return "cannot set " + what + " here"; }

// Set on a.txt, or with onFolder on its folder alone: then the copy and the file it is
// decrypted to have no ACL of their own, as a.txt had none.
struct XattrCase {
    const char* what;
    const char* name;
    std::string value;
    bool root = false, onFolder = false;
};

class KeptXattr : public testing::TestWithParam<XattrCase> {};

TEST_P(KeptXattr, ComesBackByteForByteBothWays) {
    const XattrCase& c = GetParam();
    if (c.root && ::geteuid() != 0) GTEST_SKIP() << "needs root";
    TempDir target;
    WriteFile(target / "a.txt", "inhoud");
    const std::string on = c.onFolder ? target.path() : target / "a.txt";
    if (!SetXattr(on, c.name, c.value)) GTEST_SKIP() << Refused(c.name);
    const unsigned mode = ModeOf(target / "a.txt");  // an ACL's mask shows in the group bits
    RoundTrip(target, [&](const std::string& f) {
        const char* seen = c.onFolder ? "system.posix_acl_access" : c.name;
        EXPECT_EQ(Xattr(f, seen), c.onFolder ? std::nullopt : std::optional(c.value));
        EXPECT_EQ(ModeOf(f), mode);
        EXPECT_EQ(Xattr(f, "user.kolvik"), std::nullopt);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Posix, KeptXattr,
    testing::Values(XattrCase{"AclForNobodyNotTheGroup", "system.posix_acl_access",
                              kNobodyReadsGroupDoesNot},
                    XattrCase{"UserXattrWithAnyBytes", "user.herkomst", std::string("a\0\xff", 3)},
                    XattrCase{"FileCapabilityAsRoot", "security.capability", kBindCapability, true},
                    XattrCase{"NoAclWhereOnlyTheFolderHasADefault", "system.posix_acl_default",
                              kNobodyReadsGroupDoesNot, false, true}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(KeptFacts, NodumpAndNoatimeFlags) {
    TempDir target;
    WriteFile(target / "a.txt", "inhoud");
    static constexpr unsigned kBoth = FS_NODUMP_FL | FS_NOATIME_FL;
    if (!Flags(target / "a.txt", kBoth)) GTEST_SKIP() << Refused("flags");
    RoundTrip(target, [](const std::string& f) { EXPECT_EQ(Flags(f).value_or(0) & kBoth, kBoth); });
}

TEST(KeptFacts, TimesBefore1970AndAfter2262ToTheNanosecond) {
    TempDir target;
    WriteFile(target / "a.txt", "inhoud");
    SetTimes(target / "a.txt", {k2300, 7}, {k1902, 5});
    struct stat st {};
    if (::stat((target / "a.txt").c_str(), &st) != 0 || st.st_mtim.tv_sec != k1902 ||
        st.st_atim.tv_sec != k2300) {
        GTEST_SKIP() << Refused("these times");
    }
    RoundTrip(target, [](const std::string& f) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        EXPECT_EQ(std::pair(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), std::pair(k1902, 5L));
        EXPECT_EQ(std::pair(st.st_atim.tv_sec, st.st_atim.tv_nsec), std::pair(k2300, 7L));
    });
}

// What is done to the file first: why it cannot be done here, or nothing.
using Setup = std::function<std::string(const std::string& file)>;

std::string WithUserXattr(const std::string& f) {
    return SetXattr(f, "user.herkomst", "x") ? "" : Refused("user xattrs");
}

struct LeftCase {
    const char* what;
    Setup setup;
    int xattrError = 0, flagsError = 0;
    std::optional<LeftReason> left;  // nothing: encrypted after all
};

class KeptOrLeft : public testing::TestWithParam<LeftCase> {};

TEST_P(KeptOrLeft, WhatCannotBeKeptLeavesTheOriginal) {
    const LeftCase& c = GetParam();
    TempDir target;
    const std::string plain = target / "a.txt";
    WriteFile(plain, "inhoud");
    if (const std::string why = c.setup(plain); !why.empty()) GTEST_SKIP() << why;
    Engine w;
    {
        const FakeMetaCalls refusing(
            {.xattrError = c.xattrError, .onlyXattr = "user.herkomst", .flagsError = c.flagsError});
        w.Encrypt(target.path());
    }
    if (c.left) {
        EXPECT_EQ(w.events.left, (Left{{plain, *c.left}}));
        EXPECT_EQ(Snapshot(target.path()), (Tree{{"a.txt", "file:inhoud"}}));
    } else {
        EXPECT_TRUE(w.events.left.empty());
        EXPECT_FALSE(fs::exists(plain));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Posix, KeptOrLeft,
    testing::Values(
        // Clamped, not wrapped to 1677: still after the mode was chosen.
        LeftCase{"ModifiedIn2300",
                 [](const std::string& f) {
                     SetTimes(f, {0, UTIME_OMIT}, {k2300, 0});
                     return std::string();
                 },
                 0, 0, LeftReason::ModifiedAfterModePress},
        LeftCase{"XattrRefusedByAnError", WithUserXattr, EIO, 0, LeftReason::PropertiesNotKept},
        LeftCase{"UserXattrNotPermitted", WithUserXattr, EPERM, 0, LeftReason::PropertiesNotKept},
        // As `cp -a` does, an attribute the file system does not take is passed over.
        LeftCase{"XattrTheFileSystemDoesNotTake", WithUserXattr, ENOTSUP, 0, std::nullopt},
        LeftCase{
            "FlagRefused",
            [](const std::string& f) { return Flags(f, FS_NODUMP_FL) ? "" : Refused("flags"); }, 0,
            EPERM, LeftReason::PropertiesNotKept}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace kolvik::test
