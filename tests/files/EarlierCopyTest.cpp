// A run killed after naming a copy but before deleting its original leaves both; the next run
// finishes such a pair only when the copy holds exactly the bytes it would write itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "Helpers.h"
#include "Reference.h"
#include "cipher/Transform.h"

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

struct Direction {
    bool decrypting, singleFile;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }
void PrintTo(const Direction& d, std::ostream* out) {
    *out << (d.decrypting ? "decrypt " : "encrypt ") << (d.singleFile ? "file" : "folder");
}

::ino_t Inode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

class EarlierCopy : public testing::TestWithParam<std::tuple<Case, Direction>> {};

TEST_P(EarlierCopy, FinishedOnlyWhenIdentical) {
    const auto& [c, d] = GetParam();
    TempDir target, elsewhere;
    const std::string plain = Bytes(c.size, 7);
    const std::string encrypted = RefEncrypted("geheim", "txt", plain);
    const std::string original = d.decrypting ? "a_txt.kol" : "a.txt";
    const std::string copy = d.decrypting ? "a.txt" : "a_txt.kol";
    WriteFile(target / original, d.decrypting ? encrypted : plain);
    std::string bytes = d.decrypting ? plain : encrypted;
    switch (c.beside) {
        case Beside::ByteChanged:
            bytes[c.changedAt] ^= 0x01;
            break;
        case Beside::LastByteChanged:
            bytes.back() ^= 0x80;
            break;
        case Beside::Shorter:
            bytes.pop_back();
            break;
        case Beside::Longer:
            bytes.push_back(bytes.empty() ? 'x' : bytes.back());
            break;
        default:
            break;
    }
    if (c.beside == Beside::Symlink) {
        WriteFile(elsewhere / "same", bytes);
        fs::create_symlink(elsewhere / "same", target / copy);
    } else {
        WriteFile(target / copy, bytes);
        if (c.beside == Beside::HardLinked) fs::create_hard_link(target / copy, elsewhere / "same");
    }
    const auto before = Snapshot(target.path());
    const auto copyInode = Inode(target / copy);

    Window w;
    w->LoggingOn = true;
    if (d.singleFile) {
        w->HasFileTarget = true;
        w->DecryptMode = d.decrypting;
        std::string name = original;
        if (d.decrypting)
            w->DecryptFile(name, target.path());
        else
            w->EncryptFile(name, target.path());
        w->FlushPendingOriginals();
    } else if (d.decrypting) {
        w.Decrypt(target.path());
    } else {
        w.Encrypt(target.path());
    }

    // A folder run also meets the copy in its listing, as a file of the other kind or a link.
    const std::int64_t copyListed = d.singleFile ? 0 : 1;
    const std::string log = w.Log();
    if (c.beside == Beside::Identical) {
        EXPECT_FALSE(fs::exists(target / original));
        EXPECT_EQ(ReadFile(target / copy), bytes);
        EXPECT_EQ(Inode(target / copy), copyInode);
        EXPECT_EQ(w->FilesDone, 1);
        EXPECT_EQ(w->FilesSkipped, copyListed);
        const std::int64_t originalSize =
            static_cast<std::int64_t>(d.decrypting ? encrypted.size() : plain.size());
        EXPECT_EQ(w->BytesDone,
                  originalSize + copyListed * static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(log.find("SKIP " + original), std::string::npos);
    } else {
        EXPECT_TRUE(Snapshot(target.path()) == before);
        EXPECT_EQ(Inode(target / copy), copyInode);
        EXPECT_EQ(w->FilesDone, 0);
        EXPECT_EQ(w->FilesSkipped, 1 + copyListed);
        EXPECT_NE(log.find("SKIP " + original), std::string::npos);
    }
    if (c.beside == Beside::HardLinked || c.beside == Beside::Symlink) {
        EXPECT_EQ(ReadFile(elsewhere / "same"), bytes);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(target.path()), fs::directory_iterator()),
              c.beside == Beside::Identical ? 1 : 2);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, EarlierCopy,
    testing::Combine(testing::ValuesIn(kCases),
                     testing::Values(Direction{false, false}, Direction{true, false},
                                     Direction{false, true}, Direction{true, true})),
    [](const auto& info) {
        const Direction d = std::get<1>(info.param);
        return std::string(d.decrypting ? "Decrypt" : "Encrypt") +
               (d.singleFile ? "File" : "Folder") + std::get<0>(info.param).name;
    });

// The key is checked before the plain name is looked at: a wrong key still writes nothing.
TEST(EarlierCopyWrongKey, LeavesThePairAndAsks) {
    TempDir target;
    const std::string plain = Bytes(500, 9);
    WriteFile(target / "a_txt.kol", RefEncrypted("geheim", "txt", plain));
    WriteFile(target / "a.txt", plain);
    const auto before = Snapshot(target.path());
    Window w("fout");
    w.Decrypt(target.path());
    EXPECT_TRUE(Snapshot(target.path()) == before);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.shown[0].text, target / "a_txt.kol: Onjuiste sleutel");
    EXPECT_EQ(w->FilesDone, 0);
}

}  // namespace
}  // namespace kolvik::test
