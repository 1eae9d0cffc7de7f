#include <gtest/gtest.h>

#include <filesystem>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

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
    for (const char* file : {"rapport.kol", "RAPPORT.KOL", "brief.txt", "LEESMIJ"})
        WriteFile(dir / file, "x");
    std::filesystem::create_directory(dir / "map");
    std::string argument = c.argument;
    if (argument.rfind("@", 0) == 0)
        argument = argument.substr(1);
    else if (!argument.empty())
        argument = dir / argument;
    TestWindow w(dir.path(), argument);
    w->Form_Load();

    EXPECT_EQ(w->HasFileTarget, c.target == Target::File);
    EXPECT_EQ(w->HasFolderTarget, c.target == Target::Folder);
    EXPECT_EQ(w->cmdEncrypt.enabled, c.encryptEnabled);
    EXPECT_EQ(w->cmdDecrypt.enabled, c.decryptEnabled);
    EXPECT_FALSE(w->cmdGoEncrypt.enabled || w->cmdGoDecrypt.enabled);
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

TEST(StartupWindow, ShowsTheCapsLockNoticeAtOnceOrClosesWhenAStopIsRequested) {
    TestWindow caps;
    caps.keys.capsLock = true;
    caps->Form_Load();
    EXPECT_TRUE(caps->lblCapsLock.visible);
    TestWindow stopped;
    stopped->StopRequested = true;
    stopped->Form_Load();
    EXPECT_TRUE(stopped->unloaded);
}

}  // namespace
}  // namespace kolvik::test
