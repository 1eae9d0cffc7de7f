// SPDX-License-Identifier: GPL-3.0-or-later
// The name and path rules of both systems, checked here whatever system runs the tests.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/Ansi.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"
#include "session/InstalledFolders.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

TEST(NameRules, NamesWindowsGivesToDevices) {
    const std::pair<const char*, bool> cases[] = {
        {"aux.txt", true},   {"NUL.txt", true},    {"lpt1.doc", true},   {"CoM9", true},
        {"con", true},       {"prn.tar.gz", true}, {"nul .txt", true},   {"naam.txt.", true},
        {"naam ", true},     {"com0.txt", false},  {"lpt10.txt", false}, {"auxiliary.txt", false},
        {"xnul.txt", false}, {"a.nul", false},     {"com", false},       {"naam.txt", false},
    };
    for (const auto& [name, reserved] : cases)
        EXPECT_EQ(IsReservedOnWindows(name), reserved) << name;
}

TEST(NameRules, OwnFilesAnyCaseWindowsOnesOnlyOnWindows) {
    // name, passed over on Linux, passed over on Windows
    const std::tuple<const char*, bool, bool> cases[] = {
        {"Kolvik.exe", true, true},       {"KOLVIK.EXE", true, true},
        {"kolvik-cli", true, true},       {"kolvik-cli.exe", false, true},
        {"KOLVIK-CLI.EXE", false, true},  {"uninstall.exe", false, true},
        {"Kolvik.ico", false, true},      {"mijn.exe", true, true},  // the program's own name
        {"Kolvik.exe.bak", false, false}, {"Kolvik.log", false, false},
    };
    for (const auto& [name, onLinux, onWindows] : cases) {
        EXPECT_EQ(IsProgramFile(name, "mijn.exe", false), onLinux) << name;
        EXPECT_EQ(IsProgramFile(name, "mijn.exe", true), onWindows) << name;
    }
    EXPECT_TRUE(IsLogFile("KOLVIK.LOG"));
    EXPECT_FALSE(IsLogFile("Kolvik.log.1"));
}

using Env = std::vector<std::string>;

TEST(InstalledFolders, WindowsRulesIgnoreCaseAndSlashAndSplitPathOnSemicolons) {
    const Env env = {"ProgramFiles=C:\\Program Files",
                     "ProgramFiles(x86)=C:\\Program Files (x86)",
                     "ProgramW6432=C:\\Program Files",
                     "SystemRoot=C:\\Windows",
                     "LOCALAPPDATA=C:\\Users\\Jan\\AppData\\Local",
                     "Path=C:\\Tools\\bin;\"D:\\Quoted Tools\";C:\\Python312\\"};
    const std::pair<const char*, bool> cases[] = {
        {"C:\\Program Files\\Kolvik", true},
        {"c:/program files/kolvik/", true},
        {"C:\\Program Files (x86)\\Ander", true},
        {"C:\\WINDOWS\\System32", true},
        {"C:\\Users\\Jan\\AppData\\Local\\Programs\\Kolvik", true},
        {"C:\\Tools\\bin", true},
        {"D:\\quoted tools", true},
        {"C:\\Python312", true},
        {"C:\\Tools\\bin\\sub", false},  // PATH counts the folder itself only
        {"C:\\Program FilesX", false},
        {"C:\\Users\\Jan\\AppData\\Local", false},
        {"C:\\Users\\Jan\\Documenten", false},
    };
    for (const auto& [folder, held] : cases)
        EXPECT_EQ(HoldsInstalledPrograms(folder, env, true), held) << folder;
    // The Linux rules know no such folders, and split on ":".
    EXPECT_FALSE(HoldsInstalledPrograms("C:\\Program Files\\Kolvik", env, false));
}

TEST(InstalledFolders, AFolderWithAnUninstallerIsInstalledOnWindows) {
    test::TempDir folder;
    EXPECT_FALSE(HoldsInstalledPrograms(folder.path(), {}, true));
    std::ofstream(folder.path() + "/Uninstall.exe") << "MZ";
    EXPECT_TRUE(HoldsInstalledPrograms(folder.path(), {}, true));
}

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

// Every skip word, both tests and letter case are met by the walk (tests/files/WalkTest.cpp);
// there no folder name holds only the first part of a word.
TEST(SkipWords, TheFirstPartOfAWordIsNone) {
    EXPECT_FALSE(PathHasSkipWord("D:\\Data\\Old_RESTOR"));
    EXPECT_FALSE(NameIsSkipWord("_restor"));
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
