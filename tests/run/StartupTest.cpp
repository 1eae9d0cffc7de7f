#include <gtest/gtest.h>

#include <filesystem>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

using test::TempDir;
using test::TestWindow;

enum class Target { None, File, Folder };

struct StartCase {
    const char* name;
    const char* argument;  // relative to the test folder; "" for none; "@" prefix: taken as given
    Target target;
    bool encryptEnabled, decryptEnabled;
};

class Startup : public testing::TestWithParam<StartCase> {};

TEST_P(Startup, AcceptsTargetAsDescribed) {
    const StartCase c = GetParam();
    TempDir dir;
    test::WriteFile(dir / "rapport.kol", "x");
    test::WriteFile(dir / "RAPPORT.KOL", "x");
    test::WriteFile(dir / "brief.txt", "x");
    test::WriteFile(dir / "LEESMIJ", "x");
    std::filesystem::create_directory(dir / "map");
    std::string argument = c.argument;
    if (argument.rfind("@", 0) == 0) argument = argument.substr(1);
    else if (!argument.empty()) argument = dir / argument;
    TestWindow w(dir.path(), argument);
    w->Form_Load();

    EXPECT_EQ(w->HasFileTarget, c.target == Target::File);
    EXPECT_EQ(w->HasFolderTarget, c.target == Target::Folder);
    EXPECT_EQ(w->cmdEncrypt.enabled, c.encryptEnabled);
    EXPECT_EQ(w->cmdDecrypt.enabled, c.decryptEnabled);
    EXPECT_FALSE(w->cmdGoEncrypt.enabled || w->cmdGoDecrypt.enabled);
    EXPECT_EQ(w->cmdGoEncrypt.text, ">-------->>>");
    EXPECT_EQ(w->chkLoggen.tooltip, "Loggen uitgeschakeld");
    EXPECT_EQ(w->lblLoggen.tooltip, "Loggen uitgeschakeld");
    const std::string shown = argument.empty() ? dir.path() : argument;
    const std::string tail = shown.size() > 25 ? shown.substr(shown.size() - 25) : shown;
    EXPECT_EQ(w->caption, "kolvik v10.0.2: ... " + tail);
    const std::string tip = c.target == Target::None ? dir.path() : argument;
    EXPECT_EQ(w->cmdEncrypt.tooltip, tip);
    EXPECT_EQ(w->cmdDecrypt.tooltip, tip);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Startup,
    testing::Values(StartCase{"NoArgument", "", Target::None, true, true},
                    StartCase{"EncryptedFile", "rapport.kol", Target::File, false, true},
                    // The .kol test is case-sensitive: .KOL is a plain file with an extension.
                    StartCase{"UpperCaseKol", "RAPPORT.KOL", Target::File, true, false},
                    StartCase{"PlainFile", "brief.txt", Target::File, true, false},
                    StartCase{"NoDot", "LEESMIJ", Target::None, true, true},
                    StartCase{"NamesNothing", "bestaat-niet", Target::None, true, true},
                    StartCase{"Quoted", "@\"/tmp\"", Target::None, true, true},
                    StartCase{"Folder", "map", Target::Folder, true, true}),
    [](const testing::TestParamInfo<StartCase>& i) { return std::string(i.param.name); });

TEST(StartupVersion, FieldsComeFromTheBuild) {
    TestWindow w;
    w->Form_Load();
    EXPECT_EQ(w->VersionMajor + "." + w->VersionMinor + "." + w->VersionRevision, "10.0.2");
}

TEST(StartupCapsLock, NoticeShowsAtOnce) {
    TestWindow w;
    w.keys.capsLock = true;
    w->Form_Load();
    EXPECT_TRUE(w->lblCapsLock.visible);
}

TEST(StartupStop, ClosesAtOnceWhenStopRequested) {
    TestWindow w;
    w->StopRequested = true;
    w->Form_Load();
    EXPECT_TRUE(w->unloaded);
}

}  // namespace
}  // namespace kolvik
