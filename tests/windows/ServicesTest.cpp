// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows services against Wine's own: the user's formats, the command line, the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "platform/AtomicFile.h"
#include "platform/windows/WindowsServices.h"
#include "support/TempDir.h"

// After our headers: windows.h defines Yield as a macro.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

TEST(WindowsServices, CommandLineAfterTheProgramsName) {
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"kolvik.exe C:\\a.txt", "C:\\a.txt"},
        {L"\"C:\\Program Files\\Kolvik\\Kolvik.exe\" \"C:\\my d\\a.txt\"", "C:\\my d\\a.txt"},
        {L"Kolvik.exe \"C:\\Test\\Mijn documenten\"  ", "C:\\Test\\Mijn documenten"},
        {L"Kolvik.exe \"\"C:\\twee\"\"", "\"C:\\twee\""},  // one pair only
        {L"Kolvik.exe \"C:\\open", "\"C:\\open"},          // no closing quote: as it is
        {L"Kolvik.exe \"", "\""},
        {L"\"C:\\Program Files\\Kolvik.exe\"C:\\a b.txt", "C:\\a b.txt"},
        {L"Kolvik.exe \t  C:\\caf\u00e9 \u00e9.txt  ", "C:\\caf\xc3\xa9 \xc3\xa9.txt  "},
        {L"Kolvik.exe", ""},
        {L"\"C:\\unclosed quote.exe x", ""},
        {L"", ""},
    };
    for (const auto& [line, arguments] : cases) EXPECT_EQ(ArgumentsOf(line), arguments);
}

// The user's own settings override the locale's, so the formats are set here and put back.
class UserFormats : public ::testing::Test {
  protected:
    void SetUp() override {
        for (auto& [type, value, saved] : settings_) {
            wchar_t buffer[80];
            GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 80);
            saved = buffer;
            SetLocaleInfoW(LOCALE_USER_DEFAULT, type, value);
        }
    }
    void TearDown() override {
        for (auto& [type, value, saved] : settings_)
            SetLocaleInfoW(LOCALE_USER_DEFAULT, type, saved.c_str());
    }

  private:
    struct Setting {
        LCTYPE type;
        const wchar_t* value;
        std::wstring saved;
    } settings_[3] = {{LOCALE_SSHORTDATE, L"dd|MM|yyyy", {}},
                      {LOCALE_STIMEFORMAT, L"HH.mm.ss", {}},
                      {LOCALE_SDECIMAL, L"#", {}}};
};

TEST_F(UserFormats, TimeDateAndDecimalSeparator) {
    // 2026-12-06 23:27:14 UTC, shown in local time; the C runtime's own conversion is the
    // expectation, so the test holds in any time zone.
    const std::time_t seconds = 1796599634;
    std::tm local{};
    ASSERT_EQ(localtime_s(&local, &seconds), 0);
    char date[32], time[32];
    std::strftime(date, sizeof date, "%d|%m|%Y", &local);
    std::strftime(time, sizeof time, "%H.%M.%S", &local);
    UserRegional regional;
    const auto t = WallClock::from_time_t(seconds) + std::chrono::milliseconds(999);
    EXPECT_EQ(regional.ShortDate(t), date);
    EXPECT_EQ(regional.TimeOfDay(t), time);
    EXPECT_EQ(regional.DecimalSeparator(), "#");
}

TEST(WindowsServices, ProcessFacts) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"KOLVIK_PROBE", L"caf\u00e9"));
    const ProcessFacts facts = ReadProcessFacts();
    EXPECT_EQ(facts.exeName, "windows_services_tests.exe");
    EXPECT_TRUE(facts.programFolder.ends_with("\\tests\\windows")) << facts.programFolder;
    // The build folder is the user's own: the log goes beside the program.
    EXPECT_EQ(facts.dataFolder, facts.programFolder);
    const auto& env = facts.environment;
    EXPECT_NE(std::find(env.begin(), env.end(), "KOLVIK_PROBE=caf\xc3\xa9"), env.end());
    EXPECT_TRUE(std::none_of(env.begin(), env.end(),
                             [](const std::string& e) { return e.empty() || e[0] == '='; }));
    // SystemRoot is what the system folders come from.
    EXPECT_NE(std::find_if(env.begin(), env.end(),
                           [](const std::string& e) { return e.starts_with("SystemRoot="); }),
              env.end());
}

// A name that cannot be replaced keeps its earlier file, and no temporary stays beside it. A
// name held open without sharing, as a running program's copy is, counts as refused: that is
// what sends the registration to the program folder.
TEST(AtomicFile, AFailureLeavesTheEarlierFileAndNoTemporary) {
    struct Row {
        const char* what;
        bool heldOpen;
        const char* copyFrom;  // copies this file of the folder instead of writing bytes
        FileError expected;
    };
    const Row rows[] = {
        {"replaced", false, nullptr, FileError::None},
        {"copied", false, "bron", FileError::None},
        {"held open", true, nullptr, FileError::Denied},
        {"copy of a missing file", false, "weg", FileError::PathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string name = dir / "doel";
        WriteFile(dir / "bron", "nieuw");
        WriteFile(name, "oud");
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.heldOpen) {
            held = CreateFileW(PathOf(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(held, INVALID_HANDLE_VALUE);
        }
        const FileError got = row.copyFrom ? AtomicCopy(dir / row.copyFrom, name, FileUse::Program)
                                           : AtomicWrite(name, "nieuw", FileUse::Program);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_EQ(got, row.expected);
        EXPECT_EQ(ReadFile(name), row.expected == FileError::None ? "nieuw" : "oud");
        namespace fs = std::filesystem;
        EXPECT_EQ(
            std::distance(fs::directory_iterator(PathOf(dir.path())), fs::directory_iterator{}), 2)
            << "only the name and the source";
    }
}

}  // namespace
}  // namespace kolvik::test
