// The plain name an encrypted name gives back, and the header bytes. The encrypted names
// themselves are checked, worked by hand, on the trees of the round-trip tests.
#include <gtest/gtest.h>

#include "Reference.h"
#include "engine/FileFormat.h"
#include "engine/PathHelpers.h"

namespace kolvik::test {
namespace {

using Named = std::tuple<const char*, const char*, const char*>;  // encrypted, extension, plain

TEST(PlainName, FromNameAndStoredExtension) {
    const Named cases[] = {
        Named{"my_file_txt.kol", "txt", "my_file.txt"},
        Named{"data_a_b.kol", "a_b", "data.a_b"},  // the ending encryption made wins
        // Renamed: before the last "_", or all of it when there is none.
        Named{"holiday.kol", "jpg", "holiday.jpg"}, Named{"x_y_z.kol", "jpg", "x_y.jpg"},
        Named{"notes_txt.kol", "md", "notes.md"}, Named{"\xC3\xA9_x.kol", "txt", "\xC3\xA9.txt"},
        Named{"RENAMED.kol", "", "RENAMED"},  // only ".kol" goes
        // Nothing left, or a path: skipped.
        Named{"_.kol", "", ""}, Named{".kol", "", ""}, Named{"evil_x.kol", "/../x", ""}};
    for (const auto& [encrypted, ext, plain] : cases)
        EXPECT_EQ(PlainName(encrypted, ext), plain) << encrypted << " / " << ext;
}

TEST(PlainName, EveryEncryptedNameComesBack) {
    for (const char* name :
         {"report.txt", "data.a_b", "a.b.c", ".hidden", "trail.", "nodot", "x_.y", "a_",
          "sp ace.t xt", "\xC3\xA9t\xC3\xA9.txt", "under_score.tar.gz", "_", "a__b._c_"}) {
        EXPECT_EQ(PlainName(EncryptedName(name), GetExtension(name)), name);
    }
}

TEST(EncryptedHeader, MatchesTheFormulas) {
    // geheim12 and geheim1X differ only in the eighth character, which never counts.
    for (const std::string key : {"", "ab", "geheim12", "geheim1X", "abcdefghijk", "\x7f~ !"}) {
        for (const std::string& ext :
             {std::string(), std::string("txt"), std::string("tar.gz"), std::string(255, 'e')}) {
            // The reference's file for no data: the header, then the trailing byte.
            const std::string expected = RefEncrypted(key, ext, "").substr(0, ext.size() + 9);
            const std::string header = EncryptedHeader(BuildKeyTable(key), ext);
            EXPECT_EQ(header, expected) << key << " / " << ext.size();
            EXPECT_TRUE(HeaderMatches(BuildKeyTable(key), header));
            EXPECT_FALSE(HeaderMatches(BuildKeyTable(key), header.substr(0, header.size() - 1)));
        }
    }
}

TEST(StorableExtension, OnlyWhatTheHeaderHoldsFaithfully) {
    const std::string euro = "\xE2\x82\xAC";  // one Windows-1252 byte, three in UTF-8
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"caf\xC3\xA9", "caf\xE9"},
        {std::string(255, 'x'), std::string(255, 'x')},
        {std::string(256, 'x'), std::nullopt},
        {euro + euro + std::string(253, 'x'), "\x80\x80" + std::string(253, 'x')},  // 255 bytes
        {euro + euro + std::string(254, 'x'), std::nullopt},                        // 256 bytes
        {"\xE6\x97\xA5", std::nullopt},  // a character Windows-1252 lacks
    };
    for (const auto& [utf8, stored] : cases) EXPECT_EQ(StorableExtension(utf8), stored) << utf8;
}

}  // namespace
}  // namespace kolvik::test
