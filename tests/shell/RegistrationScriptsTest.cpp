// The four scripts, byte for byte, against texts written out from the line tables.
#include <gtest/gtest.h>

#include "shell/RegistrationScripts.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

// The expected scripts are written below with LF; regedit's files end every line in CR LF.
std::string CrLf(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\r\n";
        else
            out += c;
    }
    return out;
}

const ScriptTarget kSystem32{Flavor::Windows, "C:\\WINDOWS\\SYSTEM32", "C:\\WINDOWS\\SYSTEM32"};

constexpr std::string_view kKolvikSystem32 = R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\kolvik10.0.2]
"EditFlags"=dword:00000000
"BrowserFlags"=dword:00000008
@="Kolvik"

[HKEY_CLASSES_ROOT\kolvik10.0.2\Checksum]
@=""

[HKEY_CLASSES_ROOT\kolvik10.0.2\DefaultIcon]
@="C:\\WINDOWS\\SYSTEM32\\Kolvik.ico,0"

[HKEY_CLASSES_ROOT\kolvik10.0.2\Options]
"associatewithkol"="ja"
"addtocontext"="nee"

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell]
@="Open"

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell\Open]

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell\Open\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1"

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell\Open\ddeexec]

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell\Open\ddeexec\Application]
@="Kolvik"

[HKEY_CLASSES_ROOT\kolvik10.0.2\shell\Open\ddeexec\Topic]
@="System"
)";

struct ScriptCase {
    const char* what;
    std::string actual;
    std::string expected;  // LF line ends
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.what; }

class ScriptBytes : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptBytes, MatchExactly) {
    const ScriptCase& c = GetParam();
    EXPECT_EQ(c.actual, CrLf(c.expected)) << c.what;
    EXPECT_TRUE(c.actual.ends_with("\r\n")) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Windows, ScriptBytes,
    ::testing::Values(
        ScriptCase{"Kol.reg", KolReg("kolvik10.0.2"),
                   "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
                   "@=\"kolvik10.0.2\"\n"},
        ScriptCase{"Kol.reg, another version", KolReg(MakeProgId("9", "12", "0")),
                   "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
                   "@=\"kolvik9.12.0\"\n"},
        ScriptCase{"kolvik.reg, SYSTEM32",
                   KolvikReg(MakeProgId("10", "0", "2"), kSystem32, "ja", "nee"),
                   std::string(kKolvikSystem32)},
        ScriptCase{"ContextMenu.reg, SYSTEM32", ContextMenuReg(kSystem32),
                   R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\*\shell\Besleutel met Kolvik]

[HKEY_CLASSES_ROOT\*\shell\Besleutel met Kolvik\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1"
)"},
        ScriptCase{"BesleutelMap.reg, SYSTEM32", BesleutelMapReg(kSystem32),
                   R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\Directory\shell\Kolvik.Besleutel]
@="Besleutel met Kolvik"

[HKEY_CLASSES_ROOT\Directory\shell\Kolvik.Besleutel\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1"
)"},
        ScriptCase{"a folder without a backslash is written unchanged",
                   ContextMenuReg({Flavor::Windows, "D:", "D:"}),
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik]\n\n"
                   "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command]\n"
                   "@=\"\\\"D:\\\\Kolvik.exe\\\" %1\"\n"},
        ScriptCase{"a folder path in Windows-1252",
                   BesleutelMapReg({Flavor::Windows, "E:\\\xC3\x89\xC3\xA9n", ""}),
                   "Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel]\n"
                   "@=\"Besleutel met Kolvik\"\n\n"
                   "[HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\command]\n"
                   "@=\"\\\"E:\\\\\xC9\xE9n\\\\Kolvik.exe\\\" %1\"\n"}));

// Lines 15 and 16 of kolvik.reg: options are written as they stand, empty ones included.
TEST(KolvikReg, OptionLinesCarryTheValuesAsTheyStand) {
    const struct {
        const char* kolExt;
        const char* ctx;
        const char* line15;
        const char* line16;
    } cases[] = {
        {"", "", "\"associatewithkol\"=\"\"", "\"addtocontext\"=\"\""},
        {"JA", "ja", "\"associatewithkol\"=\"JA\"", "\"addtocontext\"=\"ja\""},
        {"nee", "", "\"associatewithkol\"=\"nee\"", "\"addtocontext\"=\"\""},
    };
    for (const auto& c : cases) {
        const std::string text = KolvikReg("kolvik10.0.2", kSystem32, c.kolExt, c.ctx);
        std::vector<std::string> lines;
        for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos;
             pos = end + 2) {
            lines.push_back(text.substr(pos, end - pos));
        }
        ASSERT_EQ(lines.size(), 32u);
        EXPECT_EQ(lines[14], c.line15);
        EXPECT_EQ(lines[15], c.line16);
    }
}

// On Linux only the command and icon values change: they name the installed Linux files.
TEST(LinuxScripts, NameTheInstalledFilesWithSlashes) {
    const ScriptTarget linux{Flavor::Linux, "/home/anna/.local/bin",
                             "/home/anna/.local/share/icons/hicolor/256x256/apps"};
    std::string expected(kKolvikSystem32);
    const auto swap = [&](std::string_view from, std::string_view to) {
        const std::size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos);
        expected.replace(at, from.size(), to);
    };
    swap(R"(@="C:\\WINDOWS\\SYSTEM32\\Kolvik.ico,0")",
         R"(@="/home/anna/.local/share/icons/hicolor/256x256/apps/kolvik.png,0")");
    swap(R"(@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1")",
         R"(@="\"/home/anna/.local/bin/kolvik\" %1")");
    EXPECT_EQ(KolvikReg("kolvik10.0.2", linux, "ja", "nee"), CrLf(expected));
    EXPECT_EQ(ContextMenuReg(linux),
              CrLf("Windows Registry Editor Version 5.00\n\n"
                   "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik]\n\n"
                   "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command]\n"
                   "@=\"\\\"/home/anna/.local/bin/kolvik\\\" %1\"\n"));
    // A quote in a Linux folder name must not end the value early.
    EXPECT_NE(ContextMenuReg({Flavor::Linux, "/tmp/a\"b", ""}).find("/tmp/a\\\"b/kolvik"),
              std::string::npos);
}

// The writers replace an existing file; a second run leaves one copy of the lines.
TEST(ScriptWriters, ReplaceTheFileOnEveryRun) {
    TempDir dir;
    TestWindow w(dir.path());
    w->WindowsShell = true;
    w->VersionMajor = "10";
    w->VersionMinor = "0";
    w->VersionRevision = "2";
    w->SystemFolder = "C:\\WINDOWS\\SYSTEM32";
    w->RegKolExtension = "ja";
    w->RegContextMenu = "nee";
    WriteFile(dir / "kolvik.reg", std::string(5000, 'x'));  // longer than the script
    const struct {
        void (frmKolvik::*writer)();
        const char* file;
        std::string expected;
    } cases[] = {
        {&frmKolvik::CreateKol_REG, "Kol.reg", KolReg("kolvik10.0.2")},
        {&frmKolvik::CreateKolvik_REG, "kolvik.reg", CrLf(kKolvikSystem32)},
        {&frmKolvik::CreateContexMenu_REG, "ContextMenu.reg", ContextMenuReg(kSystem32)},
        {&frmKolvik::CreateBesleutelMap_REG, "BesleutelMap.reg", BesleutelMapReg(kSystem32)},
    };
    for (const auto& c : cases) {
        ((*w.form).*c.writer)();
        ((*w.form).*c.writer)();
        EXPECT_EQ(ReadFile(dir / c.file), c.expected) << c.file;
    }
}

// With Is64Bit the scripts name the SysWOW64 folder instead of the system folder.
TEST(ScriptWriters, NameWow64FolderOn64BitSystems) {
    TempDir dir;
    TestWindow w(dir.path());
    w->WindowsShell = true;
    w->SystemFolder = "C:\\WINDOWS\\SYSTEM32";
    w->Is64Bit = true;
    w->Wow64Folder = "C:\\WINDOWS\\SysWOW64";
    w->CreateContexMenu_REG();
    EXPECT_TRUE(ReadFile(dir / "ContextMenu.reg")
                    .ends_with("@=\"\\\"C:\\\\WINDOWS\\\\SysWOW64\\\\Kolvik.exe\\\" %1\"\r\n"));
}

}  // namespace
}  // namespace kolvik::test
