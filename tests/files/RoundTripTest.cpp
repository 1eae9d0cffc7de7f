// Whole trees encrypted and decrypted again through the walk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "Helpers.h"
#include "Reference.h"
#include "cipher/Transform.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

struct Planted {
    const char* path;      // relative to the target
    std::size_t size;
    const char* encrypted;  // the name it must get, worked out by hand
};

const std::size_t kBlock = kStreamBlock;
const Planted kTree[] = {
    {"empty.txt", 0, "empty_txt.kol"},
    {"one.bin", 1, "one_bin.kol"},
    {"a.b.c", 999, "a_b.c.kol"},
    {".hidden", 1000, "_hidden.kol"},
    {"trail.", 1001, "trail._.kol"},
    {"nodot", 2001, "nodot_.kol"},
    {"with space.t xt", kBlock - 1, "with space_t xt.kol"},
    {"caf\xC3\xA9.txt", kBlock, "caf\xC3\xA9_txt.kol"},
    {"data.a_b", kBlock + 1, "data_a_b.kol"},
    {"sub dir/big.dat", 3 * kBlock + 17, "sub dir/big_dat.kol"},
    {"sub dir/deeper/x.y", 5, "sub dir/deeper/x_y.kol"},
    {"\xC3\xA9/README", 12, "\xC3\xA9/README_.kol"},
};

TEST(RoundTrip, TreeComesBackByteForByte) {
    TempDir target;
    std::int64_t total = 0;
    unsigned seed = 1;
    for (const auto& f : kTree) {
        fs::create_directories(fs::path(target / f.path).parent_path());
        WriteFile(target / f.path, Bytes(f.size, seed++));
        total += static_cast<std::int64_t>(f.size);
    }
    ::chmod((target / "nodot").c_str(), 0640);
    const auto mtime = std::chrono::system_clock::time_point(std::chrono::seconds(1600000000) +
                                                             std::chrono::nanoseconds(123456789));
    SetMtime(target / "nodot", mtime);
    const auto before = Snapshot(target.path());

    Window w;
    w.Encrypt(target.path());
    EXPECT_EQ(w->TotalBytes, total);
    EXPECT_EQ(w->FilesDone, static_cast<std::int64_t>(std::size(kTree)));
    EXPECT_EQ(w->FilesSkipped, 0);
    EXPECT_EQ(w->BytesDone, total);
    EXPECT_EQ(w->lblTotalFiles.text, "Gedaan: 12\r\nOvergeslagen: 0");
    EXPECT_EQ(w->lblPercentage.text, "       100 %");
    std::size_t entries = 0;
    for (const auto& e : fs::recursive_directory_iterator(target.path())) entries += e.is_regular_file();
    EXPECT_EQ(entries, std::size(kTree));
    for (const auto& f : kTree) {
        ASSERT_FALSE(fs::exists(target / f.path)) << f.path;
        const std::string enc = ReadFile(target / f.encrypted);
        EXPECT_EQ(enc.size(), f.size + 10 + GetExtension(fs::path(f.path).filename().string()).size()) << f.encrypted;
    }
    // The copy keeps its original's permission bits and modification time, to the nanosecond.
    struct stat st {};
    ASSERT_EQ(::stat((target / "nodot_.kol").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);

    Window back;
    back.Decrypt(target.path());
    EXPECT_EQ(back->FilesDone, static_cast<std::int64_t>(std::size(kTree)));
    EXPECT_EQ(back->FilesSkipped, 0);
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

TEST(RoundTrip, EncryptedBytesMatchTheFormat) {
    struct Case {
        const char* name;
        const char* ext;
        std::string content;
        const char* key;
        const char* encrypted;
    };
    const Case cases[] = {
        {"report.txt", "txt", "Hallo wereld\n", "geheim", "report_txt.kol"},
        {"README", "", "", "", "README_.kol"},
        {"archive.tar.gz", "tar.gz", Bytes(2500, 9), "abcdefghij", "archive_tar.gz.kol"},
        {"x.\xC3\xA9", "\xE9", "e", "k", "x_\xC3\xA9.kol"},  // the extension byte is its Windows-1252 code
    };
    for (const auto& c : cases) {
        TempDir target;
        WriteFile(target / c.name, c.content);
        Window w(c.key);
        w.Encrypt(target.path());
        const std::string expected = RefEncrypted(c.key, c.ext, c.content);
        EXPECT_TRUE(ReadFile(target / c.encrypted) == expected) << c.name;
        EXPECT_EQ(expected.size(), c.content.size() + std::string(c.ext).size() + 10);
    }
}

}  // namespace
}  // namespace kolvik::test
