// SPDX-License-Identifier: GPL-3.0-or-later
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "Version.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

enum class Target { None, File, Folder };

const char* const kMissing = "het bestaat niet.";
const char* const kNoExtension = "een bestand zonder extensie kan niet worden versleuteld.";
const char* const kNotPlain = "het is geen gewoon bestand of map.";

TEST(Startup, AcceptsTargetAsDescribed) {
    const struct {
        const char* argument;  // relative to the test folder; "" for none; "@" prefix: as given
        Target target;
        bool encryptEnabled, decryptEnabled;
        const char* reached = nullptr;  // the target the system reaches, if not the argument
        const char* refusal = "";       // why the path cannot be used: nothing may run then
        const char *exe = "kolvik", *named = "kolvik";  // the program's file, and its caption
    } cases[] = {
        {"", Target::None, true, true},
        {"rapport.kol", Target::File, false, true},
        {"RAPPORT.KOL", Target::File, false, true},  // .KOL is .kol, as Windows takes it
        {"brief.txt", Target::File, true, false},
        {"map", Target::Folder, true, true},
        {"LEESMIJ", Target::None, false, false, nullptr, kNoExtension},
        {"notities.", Target::None, false, false, nullptr, kNoExtension},  // a dot alone is none
        {"bestaat-niet", Target::None, false, false, nullptr, kMissing},
        {"@\"/tmp\"", Target::None, false, false, nullptr, kMissing},
        {"@", Target::None, false, false, nullptr, kMissing},  // an empty argument is no path
        // An extension is not enough: reading a pipe or a device would never end.
        {"pijp.txt", Target::None, false, false, nullptr, kNotPlain},
        {"@/dev/null", Target::None, false, false, nullptr, kNotPlain},
        // Windows names the program's file with its extension; the caption names the program.
        {"", Target::None, true, true, nullptr, "", "Kolvik.exe", "Kolvik"},
        {"", Target::None, true, true, nullptr, "", "KOLVIK.EXE", "KOLVIK"},
        {"", Target::None, true, true, nullptr, "", "kolvik.exe.oud", "kolvik.exe.oud"},
        // The folder the system reaches, links followed where they stand: after the link L,
        // ".." is its destination's parent, not L's own folder. A file's own name is kept, so
        // a file that is a link stays one for the run to judge.
        {"L/../data", Target::Folder, true, true, "p/data"},
        {"L/../data/", Target::Folder, true, true, "p/data"},
        {"L/./../data/../data", Target::Folder, true, true, "p/data"},
        {"data/../L/..", Target::Folder, true, true, "p"},
        {"L/../data/x.txt", Target::File, true, false, "p/data/x.txt"},
        {"L/../../link.txt", Target::File, true, false, "link.txt"},
    };
    TempDir dir;
    for (const char* file : {"rapport.kol", "RAPPORT.KOL", "brief.txt", "LEESMIJ", "notities."})
        WriteFile(dir / file, "x");
    for (const char* folder : {"map", "p/src", "p/data", "data"})
        std::filesystem::create_directories(dir / folder);
    WriteFile(dir / "p/data/x.txt", "x");
    WriteFile(dir / "data/x.txt", "x");
    std::filesystem::create_directory_symlink(dir / "p/src", dir / "L");
    std::filesystem::create_symlink(dir / "p/data/x.txt", dir / "link.txt");
    ASSERT_EQ(mkfifo((dir / "pijp.txt").c_str(), 0600), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.argument) + " " + c.exe);
        std::string argument = c.argument;
        if (argument.rfind("@", 0) == 0)
            argument = argument.substr(1);
        else if (!argument.empty())
            argument = dir / argument;
        TestWindow w(dir.path(), argument);
        w->svc.process.argumentGiven = *c.argument != '\0';
        w->svc.process.exeName = c.exe;
        w->Form_Load();

        EXPECT_EQ(w->session.HasFileTarget(), c.target == Target::File);
        EXPECT_EQ(w->session.HasFolderTarget(), c.target == Target::Folder);
        const std::string reached = c.reached ? dir / c.reached : argument;
        EXPECT_EQ(w->session.TargetFolder(), c.target == Target::Folder ? reached : "");
        EXPECT_EQ(w->session.TargetFile(), c.target == Target::File ? reached : "");
        EXPECT_EQ(w->cmdEncrypt.enabled, c.encryptEnabled);
        EXPECT_EQ(w->cmdDecrypt.enabled, c.decryptEnabled);
        EXPECT_FALSE(w->cmdGoEncrypt.enabled || w->cmdGoDecrypt.enabled);
        EXPECT_EQ(w->chkLoggen.tooltip + w->lblLoggen.tooltip,
                  "Loggen uitgeschakeldLoggen uitgeschakeld");
        const std::string shown = c.target == Target::Folder ? reached
                                  : argument.empty()         ? dir.path()
                                                             : argument;
        const std::string tail = shown.size() > 25 ? shown.substr(shown.size() - 25) : shown;
        EXPECT_EQ(w->caption, c.named + std::string(" v" KOLVIK_VERSION ": ... ") + tail);
        // The tooltips name what a run would work on: the target, or else the program's folder.
        const std::string tip = c.target == Target::None ? dir.path() : argument;
        EXPECT_EQ(w->cmdEncrypt.tooltip, tip);
        EXPECT_EQ(w->cmdDecrypt.tooltip, tip);
        const std::string told = "Kolvik kan dit pad niet gebruiken: " + argument + "\r\n";
        EXPECT_EQ(w.dialogs.Texts(),
                  std::vector<std::string>(*c.refusal ? 1 : 0, told + c.refusal));
        EXPECT_TRUE(w->shown || !*c.refusal) << "the message stands over the window";
    }
}

// Root may look everywhere, so the child process runs as nobody. A path that cannot be looked
// at may well exist: calling it missing would mislead.
TEST(StartupRefusal, APathBelowAFolderThatMayNotBeSearchedIsNotCalledMissing) {
    TempDir dir;
    std::filesystem::create_directory(dir / "dicht");
    WriteFile(dir / "dicht/brief.txt", "x");
    std::filesystem::permissions(dir / "dicht", std::filesystem::perms::none);
    const std::string path = dir / "dicht/brief.txt";
    EXPECT_EXIT(
        {
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
                std::_Exit(2);
            TestWindow w("/nonexistent/kolvik", path);
            w->Form_Load();
            const bool told =
                w.dialogs.shown.size() == 1 &&
                w.dialogs.shown[0].text == "Kolvik kan dit pad niet gebruiken: " + path +
                                               "\r\nKolvik heeft er geen toegang toe.";
            std::_Exit(told && !w->cmdEncrypt.enabled && !w->cmdDecrypt.enabled ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    std::filesystem::permissions(dir / "dicht", std::filesystem::perms::owner_all);  // to clean up
}

// The Caps Lock notice at start-up: MainWindowTest.cpp.
TEST(StartupWindow, ClosesWhenAStopIsRequested) {
    TestWindow stopped;
    stopped->session.RequestStop();
    stopped->Form_Load();
    EXPECT_TRUE(stopped->unloaded);
}

}  // namespace
}  // namespace kolvik::test
