// The four scripts, byte for byte, against texts written out by hand.
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

// The hand-written SYSTEM32 kolvik.reg with both option lines emptied.
std::string WithEmptyOptions() {
    std::string text(kKolvikSystem32);
    const std::string from = "\"associatewithkol\"=\"ja\"\n\"addtocontext\"=\"nee\"\n";
    return text.replace(text.find(from), from.size(),
                        "\"associatewithkol\"=\"\"\n\"addtocontext\"=\"\"\n");
}

TEST(ScriptBytes, MatchTheHandWrittenTexts) {
    const struct {
        const char* what;
        std::string actual;
        std::string expected;  // LF line ends
    } cases[] = {
        {"Kol.reg", KolReg("kolvik10.0.2"),
         "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
         "@=\"kolvik10.0.2\"\n"},
        {"kolvik.reg, SYSTEM32", KolvikReg(MakeProgId("10", "0", "2"), kSystem32, "ja", "nee"),
         std::string(kKolvikSystem32)},
        {"kolvik.reg, empty options", KolvikReg("kolvik10.0.2", kSystem32, "", ""),
         WithEmptyOptions()},
        {"ContextMenu.reg, SYSTEM32", ContextMenuReg(kSystem32),
         R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\*\shell\Besleutel met Kolvik]

[HKEY_CLASSES_ROOT\*\shell\Besleutel met Kolvik\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1"
)"},
        {"BesleutelMap.reg, SYSTEM32", BesleutelMapReg(kSystem32),
         R"(Windows Registry Editor Version 5.00

[HKEY_CLASSES_ROOT\Directory\shell\Kolvik.Besleutel]
@="Besleutel met Kolvik"

[HKEY_CLASSES_ROOT\Directory\shell\Kolvik.Besleutel\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" %1"
)"},
        {"a folder without a backslash", ContextMenuReg({Flavor::Windows, "D:", "D:"}),
         "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik]\n\n"
         "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command]\n"
         "@=\"\\\"D:\\\\Kolvik.exe\\\" %1\"\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, CrLf(c.expected)) << c.what;
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
        {&frmKolvik::CreateKol_REG, "Kol.reg",
         "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
         "@=\"kolvik10.0.2\"\n"},
        {&frmKolvik::CreateKolvik_REG, "kolvik.reg", std::string(kKolvikSystem32)},
    };
    for (const auto& c : cases) {
        ((*w.form).*c.writer)();
        ((*w.form).*c.writer)();
        EXPECT_EQ(ReadFile(dir / c.file), CrLf(c.expected)) << c.file;
    }
}

}  // namespace
}  // namespace kolvik::test
