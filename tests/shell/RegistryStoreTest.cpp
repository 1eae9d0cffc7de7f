// The per-user store behaves as WScript.Shell's registry does, survives a reload and never
// loses a store it cannot read.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
        {"HKEY_CLASSES_ROOT\\k\\", "standaard"},        {"HKEY_CLASSES_ROOT\\k\\naam", "benoemd"},
        {"hkey_classes_root\\K\\NAAM", "benoemd"},       // keys and values ignore letter case
        {"HKEY_CLASSES_ROOT\\k\\naam\\", std::nullopt},  // a key naam does not exist
        {"HKEY_CLASSES_ROOT\\k\\ander", std::nullopt},
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
    // A stray UTF-8 lead byte before the "\\" must not hide the subkey.
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\c\xC3\\d\\", "kind"));
    const struct {
        const char* name;
        bool succeeds;
    } steps[] = {
        {"HKEY_CLASSES_ROOT\\a\\", false},     // still has b
        {"HKEY_CLASSES_ROOT\\a\\x\\", false},  // missing key
        {"HKEY_CLASSES_ROOT\\a\\B\\", true},   {"HKEY_CLASSES_ROOT\\a\\", true},
        {"HKEY_CLASSES_ROOT\\a\\", false},      // gone already
        {"HKEY_CLASSES_ROOT\\c\xC3\\", false},  // still has d
    };
    for (const auto& step : steps)
        EXPECT_EQ(s.reg.RegDelete(step.name), step.succeeds) << step.name;
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\b\\"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\ab\\"), "buur");
}

TEST(RegistryStore, ValuesSurviveASaveAndALoad) {
    Store s;
    const std::string values[] = {"",          "a\"b", "\\",
                                  "C:\\pad\\", "\\\"", "caf\xC3\xA9 \xE2\x82\xAC"};
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
    ::testing::Values(std::string("geen register\n"),
                      std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n"
                                  "\"v\"=\"afgebroken\n"),
                      std::string("Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n"
                                  "\"v\"=hex:01,02\n"),
                      std::string("\x00\x01\x02 binair", 10)),
    PrintDamaged);

}  // namespace
}  // namespace kolvik::test
