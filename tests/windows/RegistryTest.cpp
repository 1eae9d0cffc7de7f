// SPDX-License-Identifier: GPL-3.0-or-later
// WindowsRegistry and the registration procedures against Wine's real registry.
#include <gtest/gtest.h>

#include <filesystem>

#include "Version.h"
#include "platform/windows/WindowsRegistry.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

// After our headers: windows.h defines Yield as a macro.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

const std::string kProgId = "kolvik" KOLVIK_VERSION;

bool KeyExists(HKEY root, const std::wstring& subkey) {
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Takes away whatever a test left, in both places that HKEY_CLASSES_ROOT shows.
void RemoveTrees() {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER}) {
        const std::wstring prefix = root == HKEY_CURRENT_USER ? L"Software\\Classes\\" : L"";
        for (const wchar_t* key :
             {L".kol", L"kolvik" KOLVIK_VERSION, L"*\\shell\\Besleutel met Kolvik",
              L"Directory\\shell\\Kolvik.Besleutel"})
            RegDeleteTreeW(root, (prefix + key).c_str());
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KolvikProef");
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override { RemoveTrees(); }
    void TearDown() override { RemoveTrees(); }
    WindowsRegistry registry;
};

TEST_F(Registry, ReadWriteDeleteAsTheScriptHostDoes) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\KolvikProef\\";
    enum Op { Write, Read, Delete };
    struct Step {
        Op op;
        std::string name;
        std::optional<std::string> value;  // written, or expected from a read
        bool succeeds = true;
    } const steps[] = {
        {Write, key + "a\\", "standaard"},
        {Read, key + "a\\", "standaard"},
        {Read, key + "a\\naam", std::nullopt},  // a named value is not the default one
        {Write, key + "a\\naam", "caf\xC3\xA9 \xE2\x82\xAC"},
        {Read, key + "a\\naam", "caf\xC3\xA9 \xE2\x82\xAC"},
        {Read, key + "a", std::nullopt},     // the value "a" of KolvikProef, not the key
        {Delete, key, std::nullopt, false},  // it has the subkey a
        {Delete, key + "a\\naam", std::nullopt},
        {Delete, key + "a\\naam", std::nullopt, false},
        {Delete, key + "a\\", std::nullopt},
        {Delete, key, std::nullopt},
        {Read, key + "a\\", std::nullopt},
        {Write, "HKEY_NERGENS\\x\\", "y", false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << &s - steps + 1);
        if (s.op == Read)
            EXPECT_EQ(registry.RegRead(s.name), s.value);
        else
            EXPECT_EQ(
                s.op == Write ? registry.RegWrite(s.name, *s.value) : registry.RegDelete(s.name),
                s.succeeds);
    }
}

// A window on the real registry, with a program folder and a system folder of its own.
struct Installation {
    TempDir dir;
    std::string program, windows;
    WindowsRegistry registry;
    std::unique_ptr<TestWindow> window;
    // suffix ends the folders' names: letters Windows-1252 lacks make the scripts Unicode ones.
    explicit Installation(const std::string& suffix = "")
        : program(dir / ("programma map" + suffix)), windows(dir / ("WINDOWS" + suffix)) {
        std::filesystem::create_directories(PathOf(program));
        std::filesystem::create_directories(PathOf(windows + "\\SYSTEM32"));
        WriteFile(program + "\\Kolvik.exe", "MZ");
        window = std::make_unique<TestWindow>(
            program, "", &registry,
            std::vector<std::string>{"SystemRoot=" + windows,
                                     "PROCESSOR_IDENTIFIER=AMD64 Family 25"});
        frmKolvik& form = *window->form;
        form.VersionMajor = KOLVIK_VERSION_MAJOR;
        form.VersionMinor = KOLVIK_VERSION_MINOR;
        form.VersionRevision = KOLVIK_VERSION_REVISION;
        form.FindSystemFolders();
    }
    frmKolvik* operator->() { return window->operator->(); }
};

const std::wstring kKeys[] = {L".kol",
                              L"kolvik" KOLVIK_VERSION "\\shell\\Open\\command",
                              L"kolvik" KOLVIK_VERSION "\\DefaultIcon",
                              L"kolvik" KOLVIK_VERSION "\\Options",
                              L"*\\shell\\Besleutel met Kolvik\\command",
                              L"Directory\\shell\\Kolvik.Besleutel\\command"};

// Registered, checked, a PIN stored and read back by a later window, and removed. Wine lets
// every user write HKEY_CLASSES_ROOT; a volatile key there refuses lasting subkeys, which stands
// in for a standard user's refusal: the ProgID's tree must then go to the user's classes.
TEST_F(Registry, CreateCheckPinAndDelete) {
    const struct {
        bool refused;
        std::string suffix;  // "Łódź" (Ł is not in Windows-1252) makes the scripts Unicode ones
    } rows[] = {{false, ""}, {true, ""}, {true, " \u0141\u00f3d\u017a"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.suffix + (row.refused ? " refused" : ""));
        RemoveTrees();
        HKEY blocker;
        if (row.refused) {
            ASSERT_EQ(
                RegCreateKeyExW(HKEY_CLASSES_ROOT, L"kolvik" KOLVIK_VERSION, 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &blocker, nullptr),
                ERROR_SUCCESS);
            RegCloseKey(blocker);
        }
        Installation w(row.suffix);
        w->session.ChooseRegistration("ja", "ja");
        w->REG_Create();
        EXPECT_EQ(registry.RegRead("HKEY_CLASSES_ROOT\\.kol\\"), kProgId);
        // The open command names the program's copy in the system folder, letter for letter.
        EXPECT_EQ(registry.RegRead("HKEY_CLASSES_ROOT\\" + kProgId + "\\shell\\Open\\command\\"),
                  "\"" + w.windows + "\\SYSTEM32\\Kolvik.exe\" /dde %1");
        EXPECT_TRUE(std::filesystem::exists(PathOf(w.windows + "\\SYSTEM32\\Kolvik.exe")));
        // Only kolvik.reg can be refused; the other scripts' keys stay where they could go.
        for (const auto& key : kKeys) {
            const bool toUser = row.refused && key.starts_with(L"kolvik" KOLVIK_VERSION);
            EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + key), toUser)
                << key.c_str();
            EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, key), !toUser) << key.c_str();
        }
        // The scripts are gone once imported.
        for (const char* script : {"Kol.reg", "kolvik.reg", "ContextMenu.reg", "BesleutelMap.reg",
                                   "kolvik.reg.gebruiker.reg"})
            EXPECT_FALSE(std::filesystem::exists(PathOf(w.program + "\\" + script))) << script;

        w->REG_Check();
        EXPECT_TRUE(w->session.KolRegisterd());
        EXPECT_EQ(w->session.RegContextMenu(), "ja");
        w->txtPassword_1.text = "Geheim123";
        ASSERT_TRUE(w->PinGate());
        const std::optional<std::string> stored =
            registry.RegRead("HKEY_CLASSES_ROOT\\" + kProgId + "\\Checksum\\");
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->size(), 6u);  // three characters, two hexadecimal digits each
        EXPECT_EQ(
            KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\kolvik" KOLVIK_VERSION "\\Checksum"),
            row.refused);
        Installation later;
        later->REG_Check();
        EXPECT_EQ(later->session.RegChecksum(), *stored);

        w->REG_Delete();
        for (const auto& key : kKeys) {
            EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + key)) << key.c_str();
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key.c_str();
        }
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"kolvik" KOLVIK_VERSION));
    }
}

}  // namespace
}  // namespace kolvik::test
