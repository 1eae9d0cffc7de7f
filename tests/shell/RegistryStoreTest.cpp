// The per-user store behaves as WScript.Shell's registry does, survives a reload and never
// loses a store it cannot read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/RegistryStore.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHkcr = "HKEY_CLASSES_ROOT\\";

struct Store {
    TempDir dir;
    std::string path = dir / "cfg/kolvik/registry.reg";
    FileRegistry reg{path};
};

std::vector<std::string> KeptAside(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("registry.reg.kapot-")) names.push_back(e.path().string());
    }
    return names;
}

TEST(RegistryStore, DefaultValueAndNamedValueAreApart) {
    Store s;
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\", "standaard"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\naam", "benoemd"));
    const struct {
        const char* name;
        std::optional<std::string> expected;
    } reads[] = {
        {"HKEY_CLASSES_ROOT\\k\\", "standaard"},
        {"HKEY_CLASSES_ROOT\\k\\naam", "benoemd"},
        {"hkey_classes_root\\K\\NAAM", "benoemd"},  // keys and values ignore letter case
        {"HKCR\\k\\", "standaard"},
        {"HKEY_CLASSES_ROOT\\k\\naam\\", std::nullopt},  // a key naam does not exist
        {"HKEY_CLASSES_ROOT\\k\\ander", std::nullopt},
        {"HKEY_CLASSES_ROOT\\", std::nullopt},
        {"zonder-backslash", std::nullopt},
    };
    for (const auto& r : reads) EXPECT_EQ(s.reg.RegRead(r.name), r.expected) << r.name;
}

TEST(RegistryStore, ReadingWhatIsMissingFails) {
    Store s;
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\")) << "no store file yet";
    EXPECT_FALSE(fs::exists(s.path)) << "reading creates nothing";
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\a\\b\\c\\", "x"));
    // a and a\b exist now, but their default values were never set.
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\"));
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\b\\"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\b\\c\\"), "x");
}

TEST(RegistryStore, DeletingAKeyWithSubkeysFails) {
    Store s;
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\a\\", "ouder"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\a\\b\\", "kind"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\ab\\", "buur"));  // not a subkey of a
    const struct {
        const char* name;
        bool succeeds;
    } steps[] = {
        {"HKEY_CLASSES_ROOT\\a\\", false},      // still has b
        {"HKEY_CLASSES_ROOT\\a\\x\\", false},   // missing key
        {"HKEY_CLASSES_ROOT\\a\\nope", false},  // missing value
        {"HKEY_CLASSES_ROOT\\a\\B\\", true},   {"HKEY_CLASSES_ROOT\\a\\", true},
        {"HKEY_CLASSES_ROOT\\a\\", false},  // gone already
        {"HKEY_CLASSES_ROOT\\", false},     // the hive itself stays
    };
    for (const auto& step : steps)
        EXPECT_EQ(s.reg.RegDelete(step.name), step.succeeds) << step.name;
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\b\\"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\ab\\"), "buur");
}

TEST(RegistryStore, DeletingAValueLeavesTheKeyAndTheDefault) {
    Store s;
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\", "d"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\v", "n"));
    EXPECT_TRUE(s.reg.RegDelete("HKEY_CLASSES_ROOT\\k\\V"));
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\v"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"), "d");
}

TEST(RegistryStore, ValuesSurviveASaveAndALoad) {
    Store s;
    const std::string values[] = {
        "",
        "a\"b",
        "\\",
        "C:\\pad\\",
        "\"",
        "\\\"",
        "\\\\server\\share",
        "@=\"x\"",
        "[HKEY_X]",
        "caf\xC3\xA9 \xE2\x82\xAC",
        " spaties ",
        "; geen commentaar",
    };
    for (std::size_t i = 0; i < std::size(values); ++i) {
        ASSERT_TRUE(s.reg.RegWrite(std::string(kHkcr) + "k\\v" + std::to_string(i), values[i]));
    }
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\\"q\"", "naam met aanhalingstekens"));
    FileRegistry reloaded(s.path);  // another copy of the program
    for (std::size_t i = 0; i < std::size(values); ++i) {
        EXPECT_EQ(reloaded.RegRead(std::string(kHkcr) + "k\\v" + std::to_string(i)), values[i])
            << i;
    }
    EXPECT_EQ(reloaded.RegRead("HKEY_CLASSES_ROOT\\k\\\"q\""), "naam met aanhalingstekens");
    EXPECT_TRUE(ReadFile(s.path).starts_with("Windows Registry Editor Version 5.00\n"));
    struct stat st {};
    ASSERT_EQ(::stat(s.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(RegistryStore, RefusesTextsTheFormatCannotHold) {
    Store s;
    EXPECT_FALSE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\v", "twee\nregels"));
    EXPECT_FALSE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\v", std::string("nul\0byte", 8)));
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\v"));
}

TEST(RegistryStore, TwoCopiesSeeEachOthersChanges) {
    Store s;
    FileRegistry other(s.path);
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\een", "1"));
    ASSERT_TRUE(other.RegWrite("HKEY_CLASSES_ROOT\\k\\twee", "2"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\twee"), "2");
    EXPECT_EQ(other.RegRead("HKEY_CLASSES_ROOT\\k\\een"), "1");
    EXPECT_TRUE(other.RegDelete("HKEY_CLASSES_ROOT\\k\\een"));
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\een"));
}

class DamagedStore : public ::testing::TestWithParam<std::string> {};

std::string PrintDamaged(const ::testing::TestParamInfo<std::string>& info) {
    return "form" + std::to_string(info.index);
}

TEST_P(DamagedStore, IsKeptAsideAndNeverLost) {
    Store s;
    fs::create_directories(fs::path(s.path).parent_path());
    const std::string damaged = GetParam();
    WriteFile(s.path, damaged);
    std::vector<std::string> notices;
    s.reg.onNotice = [&](const std::string& text) { notices.push_back(text); };

    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"));
    const auto aside = KeptAside(fs::path(s.path).parent_path());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadFile(aside[0]), damaged);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0], "Het registerbestand van Kolvik was beschadigd. Het is bewaard als " +
                              aside[0] + "; er is een nieuw begonnen.");

    // A new store is started; the damaged one stays as it was and nobody is told twice.
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\", "nieuw"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"), "nieuw");
    EXPECT_EQ(ReadFile(aside[0]), damaged);
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_EQ(KeptAside(fs::path(s.path).parent_path()).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DamagedStore,
    ::testing::Values(
        std::string("geen register\n"),
        std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n"
                    "\"v\"=\"afgebroken\n"),
        std::string("Windows Registry Editor Version 5.00\n\n\"v\"=\"zonder sleutel\"\n"),
        std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n"
                    "\"v\"=hex:01,02\n"),
        std::string("\x00\x01\x02 binair", 10)),
    PrintDamaged);

TEST(RegistryStore, WithoutAHandlerTheNoticeWaits) {
    Store s;
    fs::create_directories(fs::path(s.path).parent_path());
    WriteFile(s.path, "kapot");
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"));
    EXPECT_TRUE(s.reg.TakeNotice().starts_with("Het registerbestand van Kolvik was beschadigd."));
    EXPECT_EQ(s.reg.TakeNotice(), "");
}

TEST(RegistryImport, MergesAWindows1252ScriptAndSkipsMalformedLines) {
    Store s;
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\bestaand\\", "blijft"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\k\\overschreven", "oud"));
    const std::string script =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "[HKEY_CLASSES_ROOT\\k]\r\n"
        "@=\"caf\xE9\"\r\n"  // é in Windows-1252
        "\"overschreven\"=\"nieuw\"\r\n"
        "\"pad\"=\"C:\\\\Program Files\\\\\\\"x\\\"\"\r\n"
        "\"getal\"=dword:0000000a\r\n"
        "dit is geen regel\r\n"
        "\"open\"=\"zonder einde\r\n"
        "\"na\"=\"fout\"\r\n"
        "\r\n"
        "[HKEY_CLASSES_ROOT\\k\\leeg]\r\n"
        "@=\"\"\r\n";
    WriteFile(s.dir / "x.reg", script);
    s.reg.Import(s.dir / "x.reg");
    const struct {
        const char* name;
        std::optional<std::string> expected;
    } reads[] = {
        {"HKEY_CLASSES_ROOT\\bestaand\\", "blijft"},
        {"HKEY_CLASSES_ROOT\\k\\", "caf\xC3\xA9"},
        {"HKEY_CLASSES_ROOT\\k\\overschreven", "nieuw"},
        {"HKEY_CLASSES_ROOT\\k\\pad", "C:\\Program Files\\\"x\""},
        {"HKEY_CLASSES_ROOT\\k\\getal", "10"},
        {"HKEY_CLASSES_ROOT\\k\\open", std::nullopt},
        {"HKEY_CLASSES_ROOT\\k\\na", "fout"},
        {"HKEY_CLASSES_ROOT\\k\\leeg\\", ""},
    };
    for (const auto& r : reads) EXPECT_EQ(s.reg.RegRead(r.name), r.expected) << r.name;
    // The dword survives a reload as a dword.
    EXPECT_NE(ReadFile(s.path).find("\"getal\"=dword:0000000a\n"), std::string::npos);
}

TEST(RegistryImport, MissingOrHeaderlessScriptImportsNothing) {
    Store s;
    s.reg.Import(s.dir / "bestaat-niet.reg");
    EXPECT_FALSE(fs::exists(s.path));
    WriteFile(s.dir / "zonder-kop.reg", "[HKEY_CLASSES_ROOT\\k]\r\n@=\"x\"\r\n");
    s.reg.Import(s.dir / "zonder-kop.reg");
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"));
}

TEST(RegistryStore, DefaultPathFollowsXdgConfigHome) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string keepConfig = savedConfig ? savedConfig : "";
    const std::string keepHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const struct {
        const char* config;  // nullptr: unset
        const char* expected;
    } cases[] = {
        {"/xdg/cfg", "/xdg/cfg/kolvik/registry.reg"},
        {nullptr, "/home/anna/.config/kolvik/registry.reg"},
        {"", "/home/anna/.config/kolvik/registry.reg"},
        {"relatief", "/home/anna/.config/kolvik/registry.reg"},  // not absolute: ignored
    };
    setenv("HOME", "/home/anna", 1);
    for (const auto& c : cases) {
        if (c.config)
            setenv("XDG_CONFIG_HOME", c.config, 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(DefaultRegistryPath(), c.expected) << (c.config ? c.config : "(unset)");
    }
    setenv("HOME", keepHome.c_str(), 1);
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", keepConfig.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace kolvik::test
