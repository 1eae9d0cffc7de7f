#include <gtest/gtest.h>

#include "cipher/Ansi.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik {
namespace {

struct TextCase {
    const char* in;
    const char* out;
};

class FixRootPathTable : public testing::TestWithParam<TextCase> {};
TEST_P(FixRootPathTable, DropsOnlyABackslashInFourthPlace) {
    EXPECT_EQ(FixRootPath(GetParam().in), GetParam().out);
}
INSTANTIATE_TEST_SUITE_P(Cases, FixRootPathTable,
                         testing::Values(TextCase{"C:\\\\file.txt", "C:\\file.txt"},
                                         TextCase{"C:\\dir\\file.txt", "C:\\dir\\file.txt"},
                                         TextCase{"", ""}, TextCase{"C:", "C:"},
                                         TextCase{"abc\\def", "abcdef"},
                                         // Characters, not bytes: the fourth character is the backslash.
                                         TextCase{"\xC3\xA9\xC3\xA9\xC3\xA9\\x", "\xC3\xA9\xC3\xA9\xC3\xA9x"}));

class GetExtensionTable : public testing::TestWithParam<TextCase> {};
TEST_P(GetExtensionTable, TakesTextAfterFirstDot) { EXPECT_EQ(GetExtension(GetParam().in), GetParam().out); }
INSTANTIATE_TEST_SUITE_P(Cases, GetExtensionTable,
                         testing::Values(TextCase{"report.txt", "txt"}, TextCase{"archive.tar.gz", "tar.gz"},
                                         TextCase{"README", ""}, TextCase{".profile", "profile"},
                                         TextCase{"notes.", ""}, TextCase{"a..b", ".b"}));

TEST(JoinPath, RootIsNotDoubled) {
    EXPECT_EQ(JoinPath("/", "name"), "/name");
    EXPECT_EQ(JoinPath("/home/ann", "report.txt"), "/home/ann/report.txt");
}

struct SkipCase {
    const char* text;
    bool pathTest;
    bool nameTest;
};
class SkipWordTable : public testing::TestWithParam<SkipCase> {};
TEST_P(SkipWordTable, PathTestFindsSubstringsNameTestWholeNames) {
    EXPECT_EQ(PathHasSkipWord(GetParam().text), GetParam().pathTest) << GetParam().text;
    EXPECT_EQ(NameIsSkipWord(GetParam().text), GetParam().nameTest) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Cases, SkipWordTable,
                         testing::Values(SkipCase{"D:\\Data\\Old_RESTORE_copy", true, false},
                                         SkipCase{"d:\\data\\recycler", true, false},
                                         SkipCase{"D:\\System Volume Information\\x", true, false},
                                         SkipCase{"My RECYCLER", true, false},
                                         SkipCase{"recycler", true, true}, SkipCase{"Recycled", true, true},
                                         SkipCase{"system volume information", true, true},
                                         SkipCase{"/home/ann/Documents", false, false},
                                         SkipCase{"_restor", false, false}));

TEST(Ansi, Windows1252Codes) {
    EXPECT_EQ(ToAnsi("\xC3\xA9\xE2\x82\xAC" "a"), "\xE9\x80" "a");
    EXPECT_EQ(ToAnsi("\xE6\xBC\xA2"), "?");
    EXPECT_FALSE(ToAnsiExact("\xE6\xBC\xA2").has_value());
    EXPECT_FALSE(ToAnsiExact("\xFF").has_value());  // not UTF-8
    EXPECT_EQ(AnsiToUtf8("\xE9\x80"), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(AnsiToUtf8(*ToAnsiExact("caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D")), "caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D");
}

}  // namespace
}  // namespace kolvik
