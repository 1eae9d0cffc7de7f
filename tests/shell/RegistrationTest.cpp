// SPDX-License-Identifier: GPL-3.0-or-later
// The registry scripts byte for byte against texts written out by hand, and registering and
// checking the shell integration against the real store (removing it: DialogsTest.cpp).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "ShellSession.h"
#include "Version.h"
#include "platform/AtomicFile.h"
#include "session/Registration.h"
#include "shellfiles/KolvikIcon.h"
#include "shellfiles/RegistrationScripts.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;

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

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(]
"EditFlags"=dword:00000000
"BrowserFlags"=dword:00000008
@="Kolvik"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\Checksum]
@=""

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\DefaultIcon]
@="C:\\WINDOWS\\SYSTEM32\\Kolvik.ico,0"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\Options]
"associatewithkol"="nee"
"addtocontext"="ja"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell]
@="Open"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell\Open]

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell\Open\command]
@="\"C:\\WINDOWS\\SYSTEM32\\Kolvik.exe\" /dde %1"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell\Open\ddeexec]

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell\Open\ddeexec\Application]
@="Kolvik"

[HKEY_CLASSES_ROOT\kolvik)" KOLVIK_VERSION R"(\shell\Open\ddeexec\Topic]
@="System"
)";

TEST(ScriptBytes, MatchTheHandWrittenTexts) {
    const struct {
        const char* what;
        std::string actual;
        std::string expected;  // LF line ends
    } cases[] = {
        {"Kol.reg", KolReg("kolvik" KOLVIK_VERSION),
         "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\.kol]\n"
         "@=\"kolvik" KOLVIK_VERSION "\"\n"},
        {"kolvik.reg, SYSTEM32",
         KolvikReg(MakeProgId(KOLVIK_VERSION_MAJOR, KOLVIK_VERSION_MINOR, KOLVIK_VERSION_REVISION),
                   kSystem32, "nee", "ja"),
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

// A folder name Windows-1252 holds keeps the ANSI bytes; one it cannot hold makes the script a
// Unicode one, every character (a surrogate pair beyond the first plane) as UTF-16LE.
TEST(ScriptBytes, UnicodeOnlyWhereAnsiCannotHoldTheFolder) {
    const ScriptTarget ansi{Flavor::Windows, "C:\\J\xC3\xBCrgen", ""};  // ü: 0xFC
    EXPECT_EQ(ContextMenuReg(ansi).substr(0, 2), "Wi");
    EXPECT_NE(ContextMenuReg(ansi).find("\"C:\\\\J\xFCrgen\\\\Kolvik.exe"), std::string::npos);

    // Ł is U+0141; the smiling face U+1F600 is D83D DE00.
    const ScriptTarget wide{Flavor::Windows, "C:\\\xC5\x81\xF0\x9F\x98\x80", ""};
    const std::string script = ContextMenuReg(wide);
    const std::string start("\xFF\xFEW\0i\0n\0", 8);
    EXPECT_EQ(script.substr(0, 8), start);
    const std::string folder("C\0:\0\\\0\\\0\x41\x01\x3D\xD8\x00\xDE\\\0\\\0K\0", 20);
    EXPECT_NE(script.find(folder), std::string::npos);
    // The same number of UTF-16 units as ANSI characters, the folder's three aside, after the mark.
    const std::string asAnsi = ContextMenuReg({Flavor::Windows, "C:\\abc", ""});
    EXPECT_EQ(script.size(), 2 + 2 * asAnsi.size());
    EXPECT_EQ(script.substr(script.size() - 4), std::string("\r\0\n\0", 4));
}

// The four scripts imported, then a fresh window checks: each case a different store.
TEST(REG_Check, ReadsTheStoreBackAfterImport) {
    // A read that fails leaves its field as it was; the expected fields follow from that.
    const struct {
        const char* what;
        const char *kolExt, *ctx;  // options given to REG_Create; nullptr: nothing registered
        const char* kolValue;      // written over HKEY_CLASSES_ROOT\.kol afterwards, if set
        bool registered;
    } cases[] = {
        {"registered", "ja", "ja", nullptr, true},
        {"another version's ProgID in .kol", "ja", "ja", "kolvik9.0.0", false},
        // "JA" is not "ja": the context-menu scripts are not imported, the option is kept.
        {"an option stored as JA", "ja", "JA", nullptr, true},
        {"nothing registered", nullptr, nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Install in;
        ShellSession s(in.home, in.program);
        // Start from values read from a store that is then gone.
        for (const auto& [name, value] : std::map<std::string, std::string>{
                 {"HKEY_CLASSES_ROOT\\.kol\\", "kolvik" KOLVIK_VERSION},
                 {"HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Options\\associatewithkol",
                  "vooraf-ext"},
                 {kContextMenuValue, "vooraf-ctx"},
                 {kChecksumValue, "vooraf-pin"}})
            ASSERT_TRUE(s.registry.RegWrite(name, value));
        s->REG_Check();
        std::filesystem::remove(in.store());
        if (c.kolExt) {
            ShellSession first(in.home, in.program);
            Register(first, c.kolExt, c.ctx);
            if (c.kolValue) first.registry.RegWrite("HKEY_CLASSES_ROOT\\.kol\\", c.kolValue);
        }
        s->REG_Check();
        EXPECT_EQ(s->session.KolRegisterd(), c.registered);
        EXPECT_EQ(s->session.RegKolExtension(), c.kolExt ? c.kolExt : "vooraf-ext");
        EXPECT_EQ(s->session.RegContextMenu(), c.ctx ? c.ctx : "vooraf-ctx");
        EXPECT_EQ(s->session.RegChecksum(),
                  c.kolExt ? "" : "vooraf-pin");  // registered: an empty code
    }
}

// The scripts name the folder that holds the installed copy. Only a 32-bit program on 64-bit
// Windows finds its SYSTEM32 copy in SysWOW64; after a refused copy the program folder holds it.
TEST(REG_Create, ScriptsNameTheFolderThatHoldsTheCopy) {
    struct Row {
        const char* processor;
        bool redirected, refused;
        const char* named;
    };
    const Row rows[] = {
        {"Intel64 Family 6 Model 158", true, false, "C:\\WINDOWS\\SysWOW64"},
        {"Intel64 Family 6 Model 158", false, false, "C:\\WINDOWS\\SYSTEM32"},
        {"Intel64 Family 6 Model 158", true, true, "D:\\Kolvik"},
        {"AMD64 Family 23 Model 113", true, false, "C:\\WINDOWS\\SYSTEM32"},
    };
    for (const Row& row : rows) {
        TestWindow w(
            "D:\\Kolvik", "", nullptr,
            {"SystemRoot=C:\\WINDOWS", std::string("PROCESSOR_IDENTIFIER=") + row.processor});
        w->WindowsShell = true;
        w->svc.process.systemFolderRedirected = row.redirected;
        w->FindSystemFolders();
        if (row.refused) w->SystemFolder = w->svc.process.programFolder;
        EXPECT_EQ(w->ScriptTargetFolder(), row.named) << row.processor << " " << row.redirected;
    }
}

// The writer behind the program copy, the icon and the scripts: whatever fails, the name keeps
// its earlier file and the folder holds nothing else. FileError::Denied, which sends the
// registration to the program folder, is seen to come in the test after this one.
TEST(AtomicWrite, AFailureLeavesTheEarlierFileAndNoTemporary) {
    struct Row {
        const char* what;
        const char* copyFrom;  // copies this file of the folder instead of writing bytes
        FileError expected;
        bool nameIsFolder;  // a folder with a file in it stands at the name
    };
    const Row rows[] = {
        {"replaced", nullptr, FileError::None, false},
        {"copied", "bron", FileError::None, false},
        {"a folder at the name", nullptr, FileError::Other, true},
        {"copy of a missing file", "weg", FileError::PathNotFound, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir dir;
        const std::string name = dir / "doel";
        WriteFile(dir / "bron", "nieuw");
        if (row.nameIsFolder) fs::create_directory(name);
        const std::string old = row.nameIsFolder ? name + "/binnen" : name;
        WriteFile(old, "oud");
        EXPECT_EQ(row.copyFrom ? AtomicCopy(dir / row.copyFrom, name, FileUse::Program)
                               : AtomicWrite(name, "nieuw", FileUse::Program),
                  row.expected);
        const bool replaced = row.expected == FileError::None;
        EXPECT_EQ(ReadFile(old), replaced ? "nieuw" : "oud");
        EXPECT_TRUE(!replaced || fs::status(name).permissions() == fs::perms(0755));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 2)
            << "only the name and the source";
    }
}

TEST(REG_Create, FallsBackToTheProgramFolderWhenRefused) {
    Install in;
    // .local/bin and the icon folder stay root's and closed to others.
    fs::create_directories(in.home + "/.local/bin");
    fs::create_directories(in.home + "/.local/share/icons/hicolor/256x256/apps");
    for (const std::string& d : {in.dir.path(), in.home}) fs::permissions(d, fs::perms(0755));
    for (const std::string& d : {in.program, in.home + "/.config"}) {
        fs::create_directories(d);
        fs::permissions(d, fs::perms(0777));
    }
    // Root may write anywhere, so the registration runs as nobody, in a child process.
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
            ShellSession s(in.home, in.program);
            Register(s, "ja", "ja");
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
    FileRegistry store(in.store());
    EXPECT_EQ(store.RegRead("HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\shell\\Open\\command\\"),
              "\"" + in.program + "/kolvik\" %1");
    EXPECT_EQ(store.RegRead("HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\DefaultIcon\\"),
              in.program + "/kolvik.png,0");
    EXPECT_EQ(ReadFile(in.program + "/kolvik.png"), KolvikIconPng());
    EXPECT_FALSE(fs::exists(in.program + "/kolvik.reg")) << "the scripts are removed after import";
    EXPECT_FALSE(fs::exists(in.home + "/.local/bin/kolvik"));
}

// An import that reports failure fails the registration even when the store reads back right,
// and so does a key asked for that the store does not hold.
TEST(Register, IsDoneOnlyWhenEveryImportWorksAndReadsBack) {
    struct Importing : MapRegistry {
        bool reports = true;
        bool Import(const std::string&) override {
            values["HKEY_CLASSES_ROOT\\.kol\\"] = CurrentProgId();
            return reports;
        }
    };
    for (const bool reports : {true, false}) {
        Install in;
        Importing registry;
        registry.reports = reports;
        const ProcessFacts facts{"", in.program, "kolvik", in.program, {"HOME=" + in.home}};
        Registration registration(registry, facts, CurrentProgId());
        InstallPlace place;
        registration.FindSystemFolders(place);
        const RegistrationResult result = registration.Register(place, {"ja", "nee"});
        EXPECT_TRUE(result.stored);
        EXPECT_EQ(result.imported, reports);
        EXPECT_EQ(result.Done(), reports);
        // The context menu is asked for, but its key never reaches the store.
        EXPECT_FALSE(registration.Register(place, {"nee", "ja"}).stored);
    }
}

}  // namespace
}  // namespace kolvik::test
