// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store behaves as WScript.Shell's registry does, survives a reload and never
// loses a store it cannot read.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix/RegistryStore.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

struct Store {
    TempDir dir;
    std::string folder = dir / "cfg/kolvik", path = folder + "/registry.reg";
    FileRegistry reg{path};
};

std::vector<std::string> KeptAside(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with("registry.reg.kapot-"))
            names.push_back(e.path().string());
    return names;
}

TEST(RegistryStore, DeletingAKeyWithSubkeysFails) {
    Store s;
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\a\\", "ouder"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\a\\b\\", "kind"));
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\ab\\", "buur"));  // not a subkey of a
    // A stray UTF-8 lead byte before the "\\" must not hide the subkey.
    ASSERT_TRUE(s.reg.RegWrite("HKEY_CLASSES_ROOT\\c\xC3\\d\\", "kind"));
    const std::pair<const char*, bool> steps[] = {
        // name, whether the delete succeeds
        {"HKEY_CLASSES_ROOT\\a\\", false},     // still has b
        {"HKEY_CLASSES_ROOT\\a\\x\\", false},  // missing key
        {"HKEY_CLASSES_ROOT\\a\\B\\", true},   {"HKEY_CLASSES_ROOT\\a\\", true},
        {"HKEY_CLASSES_ROOT\\a\\", false},      // gone already
        {"HKEY_CLASSES_ROOT\\c\xC3\\", false},  // still has d
    };
    for (const auto& [name, succeeds] : steps) EXPECT_EQ(s.reg.RegDelete(name), succeeds) << name;
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\a\\b\\"));
    EXPECT_EQ(s.reg.RegRead("HKEY_CLASSES_ROOT\\ab\\"), "buur");
}

// Written, then read back by another copy of the program from the saved file.
TEST(RegistryStore, ReadsDefaultAndNamedValuesApartAfterASaveAndALoad) {
    Store s;
    EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\")) << "no store file yet";
    EXPECT_FALSE(fs::exists(s.path)) << "reading creates nothing";
    const std::pair<const char*, std::optional<std::string>> values[] = {
        {"HKEY_CLASSES_ROOT\\k\\", "standaard"},
        {"HKEY_CLASSES_ROOT\\k\\naam", "benoemd"},
        {"HKEY_CLASSES_ROOT\\a\\b\\c\\", "x"},
        // What the file must quote or escape, in values and in a name.
        {"HKEY_CLASSES_ROOT\\k\\v0", ""},
        {"HKEY_CLASSES_ROOT\\k\\v1", "a\"b"},
        {"HKEY_CLASSES_ROOT\\k\\v2", "\\"},
        {"HKEY_CLASSES_ROOT\\k\\v3", "C:\\pad\\"},
        {"HKEY_CLASSES_ROOT\\k\\v4", "\\\""},
        {"HKEY_CLASSES_ROOT\\k\\v5", "caf\xC3\xA9 \xE2\x82\xAC"},
        {"HKEY_CLASSES_ROOT\\k\\\"q\"", "naam met aanhalingstekens"},
        // Never written: missing.
        {"HKEY_CLASSES_ROOT\\k\\naam\\", std::nullopt},  // a key naam does not exist
        {"HKEY_CLASSES_ROOT\\k\\ander", std::nullopt},
        // a and a\b exist, but their default values were never set.
        {"HKEY_CLASSES_ROOT\\a\\", std::nullopt},
        {"HKEY_CLASSES_ROOT\\a\\b\\", std::nullopt},
    };
    for (const auto& [name, value] : values) ASSERT_TRUE(!value || s.reg.RegWrite(name, *value));
    FileRegistry reloaded(s.path);
    for (const auto& [name, value] : values) EXPECT_EQ(reloaded.RegRead(name), value) << name;
    EXPECT_EQ(reloaded.RegRead("hkey_classes_root\\K\\NAAM"), "benoemd") << "letter case";
    EXPECT_TRUE(ReadFile(s.path).starts_with("Windows Registry Editor Version 5.00\n"));
    EXPECT_EQ(fs::status(s.path).permissions() & fs::perms::all, fs::perms(0600));
}

TEST(RegistryStore, ADamagedStoreIsKeptAsideAndNeverLost) {
    const std::string forms[] = {
        "geen register\n",
        "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n\"v\"=\"afgebroken\n",
        "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\k]\n\"v\"=hex:01,02\n",
        std::string("\x00\x01\x02 binair", 10)};
    for (const std::string& damaged : forms) {
        SCOPED_TRACE(&damaged - forms);
        Store s;
        fs::create_directories(s.folder);
        WriteFile(s.path, damaged);
        std::vector<std::string> notices;
        s.reg.onNotice = [&](const std::string& text) { notices.push_back(text); };

        EXPECT_FALSE(s.reg.RegRead("HKEY_CLASSES_ROOT\\k\\"));
        const auto aside = KeptAside(s.folder);
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
        EXPECT_EQ(KeptAside(s.folder).size(), 1u);
    }
}

}  // namespace
}  // namespace kolvik::test
