// The four scripts, byte for byte, against texts written out by hand.
#include <gtest/gtest.h>

#include "ShellSession.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik::test {
namespace {

// The expected scripts are written below with LF; regedit's files end every line in CR LF.
std::string CrLf(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

const ScriptTarget kSystem32{Flavor::Windows, "C:\\WINDOWS\\SYSTEM32", "C:\\WINDOWS\\SYSTEM32"};

// The options the other way round from what the program writes, so that each value is seen
// to come from its own argument.
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
"associatewithkol"="nee"
"addtocontext"="ja"

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

TEST(ScriptBytes, MatchTheHandWrittenTexts) {
    const struct {
        const char* what;
        std::string actual;
        std::string expected;  // LF line ends
    } cases[] = {
        {"Kol.reg", KolReg("kolvik10.0.2"),
         "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
         "@=\"kolvik10.0.2\"\n"},
        {"kolvik.reg, SYSTEM32", KolvikReg(MakeProgId("10", "0", "2"), kSystem32, "nee", "ja"),
         std::string(kKolvikSystem32)},
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
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, CrLf(c.expected)) << c.what;
}

// The writer replaces an existing file; a second run leaves one copy of the lines.
TEST(ScriptWriters, ReplaceTheFileOnEveryRun) {
    TempDir dir;
    ShellSession w(dir.path(), dir.path());  // version 10.0.2, the scripts in dir
    w->WindowsShell = true;
    w->SystemFolder = "C:\\WINDOWS\\SYSTEM32";
    w->RegKolExtension = "nee";
    w->RegContextMenu = "ja";
    WriteFile(dir / "kolvik.reg", std::string(5000, 'x'));  // longer than the script
    w->CreateKolvik_REG();
    w->CreateKolvik_REG();
    EXPECT_EQ(ReadFile(dir / "kolvik.reg"), CrLf(kKolvikSystem32));
}

}  // namespace
}  // namespace kolvik::test
