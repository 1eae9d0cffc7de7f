// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop texts as strings: quoting, the edits of the user's own files, the icon sizes.
// Shell quoting is tried for real, by running the Nautilus script in the desktop tests.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "UserActions.h"
#include "shellfiles/DesktopFiles.h"
#include "shellfiles/KolvikIcon.h"

namespace kolvik::test {
namespace {

// Expected: home, data and configuration folders.
TEST(UserFoldersFromEnvironment, FollowsTheBaseDirectoryRules) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"PATH=/bin", "HOME=/h"}, "/h /h/.local/share /h/.config"},
        {{"HOME=/h", "XDG_DATA_HOME=d", "XDG_CONFIG_HOME=~/c"}, "/h /h/.local/share /h/.config"},
        {{"HOME=/h", "", "HOME=/x", "XDG_DATA_HOME=/d"}, "/h /h/.local/share /h/.config"},
        {{"HOME=/a", "HOME=/b"}, "/b /b/.local/share /b/.config"},
        {{"HOMEPAGE=/x", "HOME=/h"}, "/h /h/.local/share /h/.config"},
    };
    for (const auto& [environment, folders] : cases) {
        const UserFolders f = UserFoldersFrom(environment);
        EXPECT_EQ(f.home + " " + f.dataHome + " " + f.configHome, folders)
            << testing::PrintToString(environment);
    }
}

// Desktop-entry quoting, then the key-file escapes on top of it.
TEST(DesktopExec, QuotesWhatTheFormatReserves) {
    using Exec = std::pair<const char*, const char*>;
    for (const auto& [program, exec] :
         {Exec{"kolvik", "kolvik"}, Exec{"/home/an de/kolvik", R"("/home/an de/kolvik")"},
          Exec{"/opt/100%/kolvik", "/opt/100%%/kolvik"},
          Exec{"/opt/a$b/kolvik", R"("/opt/a\\$b/kolvik")"},
          Exec{R"(/opt/a"b/kolvik)", R"("/opt/a\\"b/kolvik")"},
          Exec{R"(/opt/a\b/kolvik)", R"("/opt/a\\\\b/kolvik")"},
          Exec{"/opt/it's/kolvik", R"("/opt/it's/kolvik")"}})
        EXPECT_EQ(DesktopExecProgram(program), exec);
}

TEST(DesktopIcon, ThemeNameOnlyForTheUsersHicolorFolder) {
    const UserFolders f{"/h", "/h/.local/share", "/h/.config"};
    EXPECT_EQ(DesktopIconFor(f, "/h/.local/share/icons/hicolor/256x256/apps"), "kolvik");
    EXPECT_EQ(DesktopIconFor(f, "/opt/kolvik"), "/opt/kolvik/kolvik.png");
}

// mimeapps.list: each case is set, then unset again.
TEST(MimeappsList, KeepsEveryOtherLine) {
    const struct {
        const char* what;
        const char* before;
        const char* afterSet;
        const char* afterUnset;
    } cases[] = {
        {"no file yet", "", "[Default Applications]\napplication/x-kolvik=kolvik.desktop\n", ""},
        {"another section only", "[Added Associations]\ntext/plain=ed.desktop;\n",
         "[Added Associations]\ntext/plain=ed.desktop;\n\n[Default Applications]\n"
         "application/x-kolvik=kolvik.desktop\n",
         "[Added Associations]\ntext/plain=ed.desktop;\n"},
        {"an existing defaults section",
         "# mine\n[Default Applications]\ntext/plain=ed.desktop\n\n[Added Associations]\n"
         "application/x-kolvik=kolvik.desktop;\n",
         "# mine\n[Default Applications]\napplication/x-kolvik=kolvik.desktop\n"
         "text/plain=ed.desktop\n\n[Added Associations]\n"
         "application/x-kolvik=kolvik.desktop;\n",
         "# mine\n[Default Applications]\ntext/plain=ed.desktop\n\n[Added Associations]\n"
         "application/x-kolvik=kolvik.desktop;\n"},
        {"another default for the type is replaced in its place",
         "[Default Applications]\na/b=x.desktop\napplication/x-kolvik = other.desktop\n"
         "c/d=y.desktop\napplication/x-kolvik=third.desktop\n",
         "[Default Applications]\na/b=x.desktop\napplication/x-kolvik=kolvik.desktop\n"
         "c/d=y.desktop\n",
         "[Default Applications]\na/b=x.desktop\nc/d=y.desktop\n"},
        {"no line end at the end", "[Added Associations]\na/b=x.desktop;",
         "[Added Associations]\na/b=x.desktop;\n\n[Default Applications]\n"
         "application/x-kolvik=kolvik.desktop\n",
         "[Added Associations]\na/b=x.desktop;\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string set = SetDefaultApplication(c.before);
        EXPECT_EQ(set, c.afterSet);
        EXPECT_EQ(SetDefaultApplication(set), set) << "a second registration changes nothing";
        EXPECT_EQ(UnsetDefaultApplication(set), c.afterUnset);
    }
}

// A prefix of our type is another type.
TEST(MimeappsList, UnsetLeavesTheUsersOwnChoice) {
    for (const std::string theirs :
         {"[Default Applications]\napplication/x-kolvik=other.desktop\n",
          "[Default Applications]\napplication/x-kolvik2=kolvik.desktop\n"})
        EXPECT_EQ(UnsetDefaultApplication(theirs), theirs);
}

int Count(const std::string& text, const std::string& piece) {
    int n = 0;
    for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
    return n;
}

// Unmerging gives the file back byte for byte: the user's action was kept, and a file that held
// only ours goes whole.
TEST(ThunarActions, MergeOnceAndUnmergeRestoresTheFile) {
    for (const std::string before : {kUserActions, ""}) {
        const auto merged = MergeThunarAction(before, "/opt/a&b/kolvik", "kolvik");
        ASSERT_TRUE(merged);
        EXPECT_EQ(Count(*merged, "<command>'/opt/a&amp;b/kolvik' %f</command>"), 1);
        EXPECT_EQ(Count(*merged, "<name>Besleutel met Kolvik</name>"), 1);
        EXPECT_EQ(merged->substr(merged->size() - 11), "</actions>\n");
        EXPECT_EQ(MergeThunarAction(*merged, "/opt/a&b/kolvik", "kolvik"), merged)
            << "merging twice keeps one copy";
        EXPECT_EQ(UnmergeThunarAction(*merged), before);
    }
    // An empty list that was never ours stays.
    const std::string empty = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
    EXPECT_EQ(UnmergeThunarAction(empty), empty);
    // A text that is no actions list is refused.
    EXPECT_FALSE(MergeThunarAction("<?xml version=\"1.0\"?>\n<menu>\n</menu>\n", "/k", "k"));
    EXPECT_FALSE(MergeThunarAction("<actions>\n<action>", "/k", "k"));
}

// Pixels read back from the PNG's first stored deflate block (icons up to 127 x 127 fit
// in one): RGBA after a filter byte per row.
using Rgba = std::array<int, 4>;

Rgba PixelOf(const std::string& png, std::size_t size, std::size_t x, std::size_t y) {
    // After the chunk type come the zlib header and the stored-block header.
    const std::size_t at = png.find("IDAT") + 4 + 2 + 5 + y * (1 + 4 * size) + 1 + 4 * x;
    Rgba rgba;
    for (std::size_t k = 0; k < 4; ++k) rgba[k] = static_cast<std::uint8_t>(png[at + k]);
    return rgba;
}

TEST(KolvikIcon, SmallerSizesAverageTheDrawingByOpacity) {
    for (int size : kIconThemeSizes) {
        // IHDR: width and height, big-endian, right after the chunk type.
        const std::string side = {0, 0, static_cast<char>(size >> 8), static_cast<char>(size)};
        EXPECT_EQ(KolvikIconPng(size).substr(16, 8), side + side) << size;
    }
    EXPECT_EQ(KolvikIconPng(256), KolvikIconPng());

    // At 16 pixels each one covers a 16 x 16 block of the 256 drawing: a corner outside the
    // tile; a block of plate only; one inside the key's ring; one half plate, half outside.
    const std::string png = KolvikIconPng(16);
    EXPECT_EQ(PixelOf(png, 16, 0, 0), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(PixelOf(png, 16, 7, 12), (Rgba{24, 58, 82, 255}));
    EXPECT_EQ(PixelOf(png, 16, 3, 8), (Rgba{232, 178, 40, 255}));
    EXPECT_EQ(PixelOf(png, 16, 0, 7), (Rgba{24, 58, 82, 128}));
}

}  // namespace
}  // namespace kolvik::test
