// SPDX-License-Identifier: GPL-3.0-or-later
// A run killed after naming a copy but before deleting its original leaves both; the next run
// finishes such a pair only when the copy holds exactly the bytes it would write itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "EngineKit.h"
#include "Reference.h"
#include "engine/Transform.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

enum class Beside { Identical, ByteChanged, LastByteChanged, Shorter, Longer, Symlink, HardLinked };

struct Case {
    const char* name;
    Beside beside;
    std::size_t size;  // of the plain text
    std::size_t changedAt = 0;
};

const Case kCases[] = {
    {"Identical", Beside::Identical, 3000},
    {"IdenticalOverBlocks", Beside::Identical, 2 * kStreamBlock + 7},
    {"Empty", Beside::Identical, 0},
    {"ByteChangedInLaterBlock", Beside::ByteChanged, kStreamBlock + 100, kStreamBlock + 50},
    {"FirstByteChanged", Beside::ByteChanged, 3000, 0},
    {"LastByteChanged", Beside::LastByteChanged, 3000},
    {"OneByteShorter", Beside::Shorter, 3000},
    {"OneByteLonger", Beside::Longer, 3000},
    {"SymlinkToIdentical", Beside::Symlink, 3000},
    {"HardLinkedIdentical", Beside::HardLinked, 3000},
};

// The case, then whether the run decrypts and whether one file is its target.
class EarlierCopy : public testing::TestWithParam<std::tuple<Case, bool, bool>> {};

TEST_P(EarlierCopy, FinishedOnlyWhenIdentical) {
    const auto& [c, decrypting, singleFile] = GetParam();
    TempDir target, elsewhere;
    const auto [original, copy, content, copyContent] =
        PlantOne(target.path(), "a", Bytes(c.size, 7), decrypting);
    std::string bytes = copyContent;
    if (c.beside == Beside::ByteChanged) bytes[c.changedAt] ^= 0x01;
    if (c.beside == Beside::LastByteChanged) bytes.back() ^= 0x80;
    if (c.beside == Beside::Shorter) bytes.pop_back();
    if (c.beside == Beside::Longer) bytes.push_back(bytes.back());
    const bool linked = c.beside == Beside::Symlink || c.beside == Beside::HardLinked;
    WriteFile(c.beside == Beside::Symlink ? elsewhere / "same" : target / copy, bytes);
    if (c.beside == Beside::Symlink && !MakeSymlink(elsewhere / "same", target / copy))
        GTEST_SKIP() << "this system makes no link that can be opened as itself";
    if (c.beside == Beside::HardLinked) fs::create_hard_link(target / copy, elsewhere / "same");
    const auto before = Snapshot(target.path());
    const auto copyInode = FileId(target / copy);
    ASSERT_NE(copyInode, 0u);

    Engine w;
    singleFile ? (void)w.RunFile(target.path(), original, decrypting)
               : w.Run(target.path(), decrypting);

    // A folder run also meets the copy in its listing, as a file of the other kind or a link.
    const std::int64_t listed = singleFile ? 0 : 1;
    const bool finished = c.beside == Beside::Identical;
    const std::map<std::string, std::string> copyOnly = {{copy, "file:" + bytes}};
    EXPECT_TRUE(Snapshot(target.path()) == (finished ? copyOnly : before));
    EXPECT_EQ(FileId(target / copy), copyInode);
    EXPECT_EQ(w.stats.FilesDone, finished ? 1 : 0);
    EXPECT_EQ(w.stats.FilesSkipped, listed + (finished ? 0 : 1));
    EXPECT_EQ(std::ranges::count(w.events.skipped, original), finished ? 0 : 1);
    // Whatever holds the name, a link included, it is not this file's copy.
    const std::pair<std::string, LeftReason> taken{target / original, LeftReason::NameTaken};
    EXPECT_EQ(std::ranges::count(w.events.left, taken), finished ? 0 : 1);
    // A listed copy of the other kind counts its bytes as it is passed; a link is not read.
    const auto originalSize = static_cast<std::int64_t>(content.size());
    const auto copySize = static_cast<std::int64_t>(bytes.size());
    EXPECT_EQ(w.stats.BytesDone, (finished ? originalSize : 0) +
                                     listed * (c.beside == Beside::Symlink ? 0 : copySize));
    EXPECT_EQ(ReadFile(elsewhere / "same"), linked ? bytes : "");
}

INSTANTIATE_TEST_SUITE_P(Pairs, EarlierCopy,
                         testing::Combine(testing::ValuesIn(kCases), testing::Bool(),
                                          testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<1>(info.param) ? "Decrypt" : "Encrypt") +
                                    (std::get<2>(info.param) ? "File" : "Folder") +
                                    std::get<0>(info.param).name;
                         });

// Pairs in folders the walk has already left are finished after the pass, when nothing but
// the pending originals holds those folders open any more.
TEST(EarlierCopyInLeftFolders, AreFinishedAfterThePass) {
    TempDir target;
    const std::string plain = Bytes(700, 5), encrypted = RefEncrypted("geheim", "txt", plain);
    std::map<std::string, std::string> expected;
    for (const std::string sub : {"een", "twee"}) {
        fs::create_directory(target / sub);
        WriteFile(target / (sub + "/a.txt"), plain);
        WriteFile(target / (sub + "/a_txt.kol"), encrypted);
        expected[sub] = "dir";
        expected[sub + "/a_txt.kol"] = "file:" + encrypted;
    }
    Engine w;
    w.Encrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == expected);
    EXPECT_EQ(w.stats.FilesDone, 2);
}

}  // namespace
}  // namespace kolvik::test
