// SPDX-License-Identifier: GPL-3.0-or-later
// Whole trees encrypted and decrypted again through the walk.
#include <gtest/gtest.h>

#include <filesystem>

#include "EngineKit.h"
#include "Reference.h"
#include "engine/Transform.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// Names and stored extensions worked out by hand: the extension is what follows the first dot,
// held in Windows-1252.
struct Planted {
    const char* path;  // relative to the target
    std::size_t size;
    const char* encrypted;
    const char* ext;
};

const std::size_t kBlock = kStreamBlock;
const Planted kTree[] = {
    {"empty.txt", 0, "empty_txt.kol", "txt"},
    {"one.bin", 1, "one_bin.kol", "bin"},
    {"a.b.c", 999, "a_b.c.kol", "b.c"},
    {".hidden", 1000, "_hidden.kol", "hidden"},
    {"UPPER.TXT", 1001, "UPPER_TXT.kol", "TXT"},
    {"nodot", 2001, "nodot_.kol", ""},
    {"with space.t xt", kBlock - 1, "with space_t xt.kol", "t xt"},
    {"caf\xC3\xA9.txt", kBlock, "caf\xC3\xA9_txt.kol", "txt"},
    {"data.a_b", kBlock + 1, "data_a_b.kol", "a_b"},
    {"sub dir/big.dat", 3 * kBlock + 17, "sub dir/big_dat.kol", "dat"},
    {"sub dir/deeper/x.y", 5, "sub dir/deeper/x_y.kol", "y"},
    {"\xC3\xA9/README", 12, "\xC3\xA9/README_.kol", ""},
    {"x.\xC3\xA9", 7, "x_\xC3\xA9.kol", "\xE9"},
    {"two..dots", 3, "two_.dots.kol", ".dots"},
};

TEST(RoundTrip, TreeComesBackByteForByte) {
    TempDir target;
    std::int64_t total = 0;
    unsigned seed = 1;
    // Exactly the encrypted files and the folders they were in, nothing else.
    std::map<std::string, std::string> encrypted = {
        {"sub dir", "dir"}, {"sub dir/deeper", "dir"}, {"\xC3\xA9", "dir"}};
    for (const auto& f : kTree) {
        const std::string content = Bytes(f.size, seed++);
        fs::create_directories(PathOf(target / f.path).parent_path());
        WriteFile(target / f.path, content);
        encrypted[f.encrypted] = RefKolEntry(f.ext, content);
        total += static_cast<std::int64_t>(f.size);
    }
    const auto before = Snapshot(target.path());

    Engine w;
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == encrypted);
    EXPECT_EQ(w.stats.TotalBytes, total);
    EXPECT_EQ(w.stats.BytesDone, total);
    EXPECT_EQ(w.stats.FilesDone, 14);
    EXPECT_EQ(w.stats.FilesSkipped, 0);

    Engine().Decrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
}

}  // namespace
}  // namespace kolvik::test
