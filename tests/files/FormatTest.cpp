// The encrypted name, the plain name it gives back, and the header bytes.
#include <gtest/gtest.h>

#include "Reference.h"
#include "cipher/FileFormat.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik::test {
namespace {

TEST(EncryptedName, FollowsTheFirstDot) {
    const std::pair<const char*, const char*> cases[] = {
        {"report.txt", "report_txt.kol"},   {"archive.tar.gz", "archive_tar.gz.kol"},
        {"README", "README_.kol"},          {"notes.", "notes._.kol"},
        {".profile", "_profile.kol"},       {"a b.c d", "a b_c d.kol"},
        {"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9_txt.kol"},
    };
    for (const auto& [plain, encrypted] : cases) EXPECT_EQ(EncryptedName(plain), encrypted) << plain;
}

TEST(PlainName, FromNameAndStoredExtension) {
    struct Case {
        const char* encrypted;
        const char* ext;
        const char* plain;
    };
    const Case cases[] = {
        {"report_txt.kol", "txt", "report.txt"},
        {"archive_tar.gz.kol", "tar.gz", "archive.tar.gz"},
        {"my_file_txt.kol", "txt", "my_file.txt"},
        {"data_a_b.kol", "a_b", "data.a_b"},        // the ending encryption made wins
        {"holiday.kol", "jpg", "holiday.jpg"},      // renamed: no "_" at all
        {"x_y_z.kol", "jpg", "x_y.jpg"},            // renamed: before the last "_"
        {"notes_txt.kol", "md", "notes.md"},
        {"_profile.kol", "profile", ".profile"},
        {"README_.kol", "", "README"},
        {"RENAMED.kol", "", "RENAMED"},             // only ".kol" goes
        {"notes._.kol", "", "notes."},
        {"\xC3\xA9_txt.kol", "txt", "\xC3\xA9.txt"},
        {"_.kol", "", ""},                          // nothing left: skipped
        {".kol", "", ""},
        {"evil_x.kol", "/../x", ""},                // never a path
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlainName(c.encrypted, c.ext), c.plain) << c.encrypted << " / " << c.ext;
    }
}

TEST(PlainName, EveryEncryptedNameComesBack) {
    for (const char* name : {"report.txt", "data.a_b", "a.b.c", ".hidden", "trail.", "nodot", "x_.y", "a_",
                             "sp ace.t xt", "\xC3\xA9t\xC3\xA9.txt", "under_score.tar.gz", "_", "a__b._c_"}) {
        EXPECT_EQ(PlainName(EncryptedName(name), GetExtension(name)), name);
    }
}

TEST(EncryptedHeader, MatchesTheFormulas) {
    for (const std::string key : {"", "ab", "geheim12", "geheim1X", "abcdefghijk", "\x7f~ !"}) {
        for (const std::string& ext : std::vector<std::string>{"", "txt", "tar.gz", std::string(255, 'e')}) {
            const RefTable t(key);
            const auto L = static_cast<long long>(ext.size());
            std::string expected(1, static_cast<char>(L));
            expected += ext;
            for (long long p = L + 2; p <= L + 9; ++p) expected.push_back(static_cast<char>(RefCheck(t, p, L)));
            const std::string header = EncryptedHeader(BuildKeyTable(key), ext);
            EXPECT_EQ(header, expected) << key << " / " << ext.size();
            EXPECT_TRUE(HeaderMatches(BuildKeyTable(key), header));
            EXPECT_FALSE(HeaderMatches(BuildKeyTable(key), header.substr(0, header.size() - 1)));
        }
    }
    // The eighth key character never counts; the seventh does.
    const std::string h = EncryptedHeader(BuildKeyTable("geheim12"), "txt");
    EXPECT_TRUE(HeaderMatches(BuildKeyTable("geheim1X"), h));
    EXPECT_FALSE(HeaderMatches(BuildKeyTable("geheimX2"), h));
}

TEST(StorableExtension, OnlyWhatTheHeaderHoldsFaithfully) {
    EXPECT_EQ(StorableExtension("txt"), "txt");
    EXPECT_EQ(StorableExtension("caf\xC3\xA9"), "caf\xE9");  // é is one Windows-1252 byte
    EXPECT_EQ(StorableExtension(std::string(255, 'x'))->size(), 255u);
    EXPECT_FALSE(StorableExtension(std::string(256, 'x')));
    EXPECT_FALSE(StorableExtension(std::string(128, 'x') + std::string(128, 'y')));
    EXPECT_FALSE(StorableExtension("\xE2\x82\xAC\xE2\x82\xAC" + std::string(254, 'x')));  // 256 bytes
    EXPECT_FALSE(StorableExtension("\xE6\x97\xA5"));  // a character Windows-1252 lacks
}

TEST(EndsInKol, ExactLowerCase) {
    EXPECT_TRUE(EndsInKol("a_txt.kol"));
    EXPECT_TRUE(EndsInKol("backupkol"));
    EXPECT_FALSE(EndsInKol("a_txt.KOL"));
    EXPECT_FALSE(EndsInKol("ol"));
}

TEST(NextProgressPass, AfterPasses1001_2001_AndSoOn) {
    const std::tuple<long long, long long, long long> cases[] = {
        {1, 1000, 0}, {1, 1001, 1001}, {1001, 1001, 1001}, {1002, 2000, 0},
        {1002, 2001, 2001}, {2002, 5000, 3001}, {0, 999, 0}, {3001, 3001, 3001},
    };
    for (const auto& [from, limit, expected] : cases) {
        EXPECT_EQ(NextProgressPass(from, limit), expected) << from << ".." << limit;
    }
}

}  // namespace
}  // namespace kolvik::test
