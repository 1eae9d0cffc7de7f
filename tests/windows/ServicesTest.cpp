// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows services against Wine's own: the user's formats, the command line, the process;
// and which viewer the launcher starts, with the starts recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/windows/WindowsServices.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

// After our headers: windows.h defines Yield as a macro.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace kolvik::test {
namespace {

TEST(WindowsServices, CommandLineAfterTheProgramsName) {
    const struct {
        const wchar_t* line;
        const char* arguments;
        bool openCommand = false;  // the .kol open command's mark: the window answers DDE
    } cases[] = {
        {L"\"C:\\Program Files\\Kolvik\\Kolvik.exe\" \"C:\\my d\\a.txt\"", "C:\\my d\\a.txt"},
        {L"Kolvik.exe \"C:\\Test\\Mijn documenten\"  ", "C:\\Test\\Mijn documenten"},
        {L"Kolvik.exe \"\"C:\\twee\"\"", "\"C:\\twee\""},  // one pair only
        {L"Kolvik.exe \"C:\\open", "\"C:\\open"},          // no closing quote: as it is
        {L"Kolvik.exe \"", "\""},
        {L"\"C:\\Program Files\\Kolvik.exe\"C:\\a b.txt", "C:\\a b.txt"},
        {L"Kolvik.exe \t  C:\\caf\u00e9 \u00e9.txt  ", "C:\\caf\xc3\xa9 \xc3\xa9.txt  "},
        {L"Kolvik.exe", ""},
        {L"\"C:\\unclosed quote.exe x", ""},
        {L"\"C:\\K\\Kolvik.exe\" /dde C:\\a b_txt.kol", "C:\\a b_txt.kol", true},
        {L"Kolvik.exe /dde  \"C:\\a b_txt.kol\"", "C:\\a b_txt.kol", true},
        {L"\"C:\\K\\Kolvik.exe\" C:\\a b_txt.kol", "C:\\a b_txt.kol"},  // the context menu
        {L"Kolvik.exe C:\\x /dde y.kol", "C:\\x /dde y.kol"},
        {L"Kolvik.exe /ddex.kol", "/ddex.kol"},
        {L"Kolvik.exe /dde  ", "/dde  "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArgumentsOf(c.line), c.arguments);
        EXPECT_EQ(OpenCommandLine(c.line), c.openCommand) << c.arguments;
    }
}

TEST(UserFormats, TimeDateAndDecimalSeparator) {
    // 2026-12-06 23:27:14 UTC, shown in local time; the C runtime's own conversion is the
    // expectation, so the test holds in any time zone.
    const std::time_t seconds = 1796599634;
    std::tm local{};
    ASSERT_EQ(localtime_s(&local, &seconds), 0);
    char date[32], time[32];
    std::strftime(date, sizeof date, "%d|%m|%Y", &local);
    std::strftime(time, sizeof time, "%H.%M.%S", &local);
    // The user's own settings override the locale's: set here, and put back before any check.
    struct Setting {
        LCTYPE type;
        const wchar_t* value;
        wchar_t saved[80];
    } settings[] = {{LOCALE_SSHORTDATE, L"dd|MM|yyyy", {}},
                    {LOCALE_STIMEFORMAT, L"HH.mm.ss", {}},
                    {LOCALE_SDECIMAL, L"#", {}}};
    for (Setting& s : settings) {
        GetLocaleInfoW(LOCALE_USER_DEFAULT, s.type, s.saved, 80);
        SetLocaleInfoW(LOCALE_USER_DEFAULT, s.type, s.value);
    }
    UserRegional regional;
    const auto t = WallClock::from_time_t(seconds) + std::chrono::milliseconds(999);
    const std::vector<std::string> shown = {regional.ShortDate(t), regional.TimeOfDay(t),
                                            regional.DecimalSeparator()};
    for (const Setting& s : settings) SetLocaleInfoW(LOCALE_USER_DEFAULT, s.type, s.saved);
    EXPECT_EQ(shown, (std::vector<std::string>{date, time, "#"}));
}

TEST(WindowsServices, ProcessFacts) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"KOLVIK_PROBE", L"caf\u00e9"));
    const ProcessFacts facts = ReadProcessFacts();
    EXPECT_EQ(facts.exeName, "windows_services_tests.exe");
    EXPECT_TRUE(facts.programFolder.ends_with("\\tests\\windows")) << facts.programFolder;
    // The build folder is the user's own: the log goes beside the program.
    EXPECT_EQ(facts.dataFolder, facts.programFolder);
    const auto& env = facts.environment;
    EXPECT_EQ(std::ranges::count(env, "KOLVIK_PROBE=caf\xc3\xa9"), 1);
    EXPECT_TRUE(std::ranges::none_of(env, [](const auto& e) { return e.empty() || e[0] == '='; }));
}

// Records what would be started, in order; Word and a started program come up or not.
class RecordingLauncher : public ShellLauncher {
  public:
    using ShellLauncher::ShellLauncher;
    bool comesUp = true;
    std::vector<std::string> calls;

  protected:
    bool OpenInWord(const std::string& path) override { return Record("word " + path); }
    bool OpenDocument(const std::string& path) override { return Record("open " + path); }
    bool StartProgram(const std::string& line) override { return Record("start " + line); }

  private:
    bool Record(const std::string& call) {
        calls.push_back(call);
        return comesUp;
    }
};

// Notepad gets the path as it is, Foxit's command gets it quoted in place of its last four
// characters; a document without Word, or a PDF without Foxit, goes to its associated program.
TEST(WindowsLauncher, ViewerPerKind) {
    const char* const foxit = "\"C:\\F\\F R.exe\" \"%1\"";
    const char* const fx = "FoxitReader.Document";
    constexpr auto kText = ViewKind::Text, kDoc = ViewKind::Document, kPdf = ViewKind::Pdf;
    struct Case {
        ViewKind kind;
        const char* path;
        bool comesUp;
        const char* pdfHandler;    // default value of .pdf; "": none
        const char* foxitCommand;  // "": none
        std::vector<std::string> calls;
    } const cases[] = {
        {kText, "C:\\m d\\a.txt", true, "", "", {"start C:\\W\\notepad.exe C:\\m d\\a.txt"}},
        // A notepad that does not start is the end of it.
        {kText, "C:\\d\\a.txt", false, "", "", {"start C:\\W\\notepad.exe C:\\d\\a.txt"}},
        {kDoc, "C:\\d\\b.doc", true, fx, foxit, {"word C:\\d\\b.doc"}},
        {kDoc, "C:\\d\\b.doc", false, "", "", {"word C:\\d\\b.doc", "open C:\\d\\b.doc"}},
        // The space before the quoted %1 stays.
        {kPdf, "C:\\m d\\a.pdf", true, fx, foxit, {"start \"C:\\F\\F R.exe\"  \"C:\\m d\\a.pdf\""}},
        {kPdf, "C:\\d\\a.pdf", true, fx, "abc", {"start abc \"C:\\d\\a.pdf\""}},
        {kPdf, "C:\\d\\a.pdf", true, fx, "abcd", {"start  \"C:\\d\\a.pdf\""}},
        {kPdf, "C:\\d\\a.pdf", true, "foxitreader.document", foxit, {"open C:\\d\\a.pdf"}},
        {kPdf, "C:\\d\\a.pdf", true, "", foxit, {"open C:\\d\\a.pdf"}},
        {kPdf, "C:\\d\\a.pdf", true, fx, "", {"open C:\\d\\a.pdf"}},
    };
    for (const auto& c : cases) {
        MapRegistry registry;
        if (*c.pdfHandler) registry.values["HKEY_CLASSES_ROOT\\.pdf\\"] = c.pdfHandler;
        if (*c.foxitCommand)
            registry.values["HKEY_CLASSES_ROOT\\FoxitReader.Document\\shell\\open\\command\\"] =
                c.foxitCommand;
        RecordingLauncher launcher(registry, "C:\\W");
        launcher.comesUp = c.comesUp;
        launcher.OpenForViewing(c.kind, c.path);
        EXPECT_EQ(launcher.calls, c.calls) << c.path;
    }
}

// A name that cannot be replaced keeps its earlier file, no temporary stays beside it, and
// another file under the name a temporary would take first is left as it is. A name held open
// without sharing, as a running program's copy is, counts as refused: that is what sends the
// registration to the program folder.
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
        const std::string other = name + ".kolvik-" + std::to_string(GetCurrentProcessId()) + "-0";
        WriteFile(dir / "bron", "nieuw");
        WriteFile(name, "oud");
        WriteFile(other, "van een ander");
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
        EXPECT_EQ(ReadFile(other), "van een ander");
        namespace fs = std::filesystem;
        EXPECT_EQ(
            std::distance(fs::directory_iterator(PathOf(dir.path())), fs::directory_iterator{}), 3)
            << "only the name, the source and the other file";
    }
}

}  // namespace
}  // namespace kolvik::test
