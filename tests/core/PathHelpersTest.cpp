// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "engine/Ansi.h"
#include "engine/PathHelpers.h"

namespace kolvik {
namespace {

using Text = std::pair<const char*, const char*>;

TEST(FixRootPath, DropsOnlyABackslashInFourthPlace) {
    for (const auto& [in, out] :
         {Text{"C:\\\\file.txt", "C:\\file.txt"}, Text{"C:\\dir\\file.txt", "C:\\dir\\file.txt"},
          Text{"", ""}, Text{"C:", "C:"}, Text{"abc\\def", "abcdef"},
          // Characters, not bytes: the fourth character is the backslash.
          Text{"\xC3\xA9\xC3\xA9\xC3\xA9\\x", "\xC3\xA9\xC3\xA9\xC3\xA9x"}})
        EXPECT_EQ(FixRootPath(in), out) << in;
}

TEST(JoinPath, RootIsNotDoubled) { EXPECT_EQ(JoinPath("/", "name"), "/name"); }

using Skip = std::tuple<const char*, bool, bool>;  // text, path test, name test

TEST(SkipWords, PathTestFindsSubstringsNameTestWholeNames) {
    for (const auto& [text, pathTest, nameTest] :
         {Skip{"D:\\Data\\Old_RESTORE_copy", true, false}, Skip{"d:\\data\\recycler", true, false},
          Skip{"D:\\System Volume Information\\x", true, false}, Skip{"My RECYCLER", true, false},
          Skip{"recycler", true, true}, Skip{"Recycled", true, true},
          Skip{"system volume information", true, true}, Skip{"/home/ann/Documents", false, false},
          Skip{"_restor", false, false}}) {
        EXPECT_EQ(PathHasSkipWord(text), pathTest) << text;
        EXPECT_EQ(NameIsSkipWord(text), nameTest) << text;
    }
}

TEST(Ansi, Windows1252Codes) {
    EXPECT_EQ(ToAnsi("\xC3\xA9\xE2\x82\xAC!"), "\xE9\x80!");
    EXPECT_EQ(ToAnsi("\xE6\xBC\xA2"), "?");
    EXPECT_FALSE(ToAnsiExact("\xE6\xBC\xA2").has_value());
    EXPECT_FALSE(ToAnsiExact("\xFF").has_value());      // not UTF-8
    EXPECT_FALSE(ToAnsiExact("\xC0\xAF").has_value());  // nor an overlong "/"
    EXPECT_EQ(AnsiToUtf8("\xE9\x80"), "\xC3\xA9\xE2\x82\xAC");
    const std::string quoted = "caf\xC3\xA9 \xE2\x80\x9Cx\xE2\x80\x9D";
    EXPECT_EQ(AnsiToUtf8(*ToAnsiExact(quoted)), quoted);
}

}  // namespace
}  // namespace kolvik
