// SPDX-License-Identifier: GPL-3.0-or-later
// A run as the session runs it, with no window: its guards, both passes, the file named on its
// own, what it tells and logs, and how it ends.
#include <gtest/gtest.h>
#include <sys/vfs.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "EngineKit.h"
#include "Reference.h"
#include "Version.h"
#include "platform/posix/MetaCalls.h"
#include "session/RunSession.h"
#include "session/Texts.h"
#include "support/Fakes.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

struct Front final : RunFront {
    std::vector<std::string> told, logged;
    void Tell(const std::string& text, Tone) override { told.push_back(text); }
    bool GoOnWithoutTargetAccess(const std::string& text) override {
        told.push_back(text);
        return true;
    }
    void LogLine(const std::string& text) override { logged.push_back(text); }
};

const std::string kMenu = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Options\\addtocontext";
const std::string kPin = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Checksum\\";

// A session in a program folder of its own, over a tree of a.txt and sub/b.txt; its mode time
// comes after every file the test writes. Its runs log.
struct Session {
    TempDir program, tree;
    RecordedEvents events;
    FakeClock clock;
    MapRegistry registry;
    ProcessFacts facts;
    Front front;
    RunSession session{events, clock, registry, facts};

    Session() {
        facts.programFolder = facts.dataFolder = program.path();
        facts.exeName = "kolvik";
        clock.now += std::chrono::hours(1);
        WriteFile(tree / "a.txt", "alpha");
        fs::create_directories(tree / "sub");
        WriteFile(tree / "sub/b.txt", "beta");
        // The least cost a reader accepts.
        session.StrongCost = {.memoryKiB = 65'536, .passes = 1, .lanes = 1};
    }
    RunEnd Run(RunMode mode, bool strong = false) {
        EXPECT_EQ(session.ChooseMode(mode, "pw", "pw", strong), ModeRefusal::None);
        RunRequest request;
        request.mode = mode;
        request.log = true;
        return session.Run(request, "pw", front);
    }
};

void Pinned(Session& s) { s.registry.values = {{kMenu, "ja"}, {kPin, "C0FFEE"}}; }
void MenuOnly(Session& s) { s.registry.values = {{kMenu, "ja"}}; }
// With no target the run works on the program's folder: here the tree, which holds installed
// programs when it is on the PATH.
void ProgramFolder(Session& s) { s.facts.programFolder = s.tree.path(); }
void ProgramsInTree(Session& s) {
    ProgramFolder(s);
    s.facts.environment = {"PATH=/usr/bin:" + s.tree.path()};
}
void NameTaken(Session& s) { WriteFile(s.tree / "a_txt.kol", "bezet"); }
void KolTaken(Session& s) { WriteFile(s.tree / "a_txt.kol", RefEncrypted("pw", "txt", "ander")); }
void OwnLog(Session& s) { WriteFile(s.tree / "Kolvik.log", "log"); }
void NoOwnFiles(Session& s) { fs::remove(s.tree / "a.txt"); }
void EmptySub(Session& s) { fs::remove(s.tree / "sub/b.txt"); }

TEST(Session, EndsAsItsGuardsAndStepsDecide) {
    using enum RunMode;
    using enum RunEnd;
    const struct {
        const char* name;
        const char* target;  // in the tree, "" for the tree itself; nullptr: none
        RunMode mode;
        RunEnd end;
        void (*before)(Session&);  // before the target is taken
        const char* gone;          // removed after the target was taken
        const char* told;       // the one message, "@" for the tree's path; "*": installed programs
        const char* encrypted;  // the files now under the password, all else as it was
    } rows[] = {
        {"PIN refused", "", Encrypt, PinRefused, Pinned, nullptr, "Foute PIN-code", ""},
        // The PIN's code is computed under a key of its own: the files are under the password.
        {"PIN stored by the first run", "", Encrypt, Finished, MenuOnly, nullptr,
         kPinFirstRunText.data(), "a.txt sub/b.txt"},
        {"file", "a.txt", Encrypt, FileDone, nullptr, nullptr, "", "a.txt"},
        // Not done: said once, naming the file, unless the step said why.
        {"file gone", "a.txt", Encrypt, FileNotDone, nullptr, "a.txt", "@/a.txt: niet gevonden",
         ""},
        {"name taken", "a.txt", Encrypt, FileNotDone, NameTaken, nullptr,
         "@/a.txt: de nieuwe naam bestaat al", ""},
        {"decrypted name taken", "a_txt.kol", Decrypt, FileNotDone, KolTaken, nullptr,
         "@/a_txt.kol: de nieuwe naam bestaat al", ""},
        // Passed over as in a folder, and named: not "niet gevonden" for a file that is there.
        {"Kolvik's own log", "Kolvik.log", Encrypt, FileNotDone, OwnLog, nullptr,
         "@/Kolvik.log: bestand van Kolvik zelf, overgeslagen", ""},
        {"no target", nullptr, Encrypt, Finished, ProgramFolder, nullptr, "", "a.txt sub/b.txt"},
        // Told in the front end's own words: the window's test reads the text.
        {"no target, the program folder holds installed programs", nullptr, Encrypt,
         InstalledPrograms, ProgramsInTree, nullptr, "*", ""},
        // Gone since it was taken: said, not done as a folder of nothing. The question comes
        // once, and only when the target itself cannot be read: a folder of folders, or of
        // nothing, is no reason to ask.
        {"target gone", "sub", Encrypt, Finished, nullptr, "sub",
         "Kan geen toegang krijgen tot: @/sub", ""},
        {"only folders", "", Encrypt, Finished, NoOwnFiles, nullptr, "", "sub/b.txt"},
        {"empty", "sub", Encrypt, Finished, EmptySub, nullptr, "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Session s;
        if (r.before) r.before(s);
        if (r.target) {
            const std::string target = *r.target ? s.tree / r.target : s.tree.path();
            ASSERT_EQ(s.session.TakeTarget(target), TargetRefusal::None);
        }
        if (r.gone) fs::remove_all(s.tree / r.gone);
        Tree want = Snapshot(s.tree.path());
        EXPECT_EQ(s.Run(r.mode), r.end);
        std::string told = r.told;
        if (const auto at = told.find('@'); at != std::string::npos)
            told.replace(at, 1, s.tree.path());
        if (told == "*") told = InstalledProgramsText(s.tree.path());
        EXPECT_EQ(s.front.told, std::vector<std::string>(told.empty() ? 0 : 1, told));
        EXPECT_EQ(s.session.Report().left, r.end == FileNotDone ? 1 : 0);
        std::istringstream names(r.encrypted);
        for (std::string name; names >> name;) {
            const std::string plain = want.at(name).substr(5);  // after "file:"
            want.erase(name);
            want[name.substr(0, name.size() - 4) + "_txt.kol"] =
                "file:" + RefEncrypted("pw", "txt", plain);
        }
        EXPECT_EQ(Snapshot(s.tree.path()), want);
    }
}

// Where overwriting cannot reach the old blocks (the file system says it is Btrfs) a strong
// run says so once, at its end, and in the log right before its summary. A decryption and the
// described format overwrite nothing and say nothing of it. A decryption is never held by the
// PIN, and each run counts from nought.
TEST(Session, OldBlocksAreToldOncePerStrongRunAndDecryptionIsNeverGated) {
    posix::MetaCalls meta = posix::RealMetaCalls();
    meta.fstatfs = [](int fd, struct statfs* fs) {
        const int result = posix::RealMetaCalls().fstatfs(fd, fs);
        fs->f_type = 0x9123683E;  // BTRFS_SUPER_MAGIC
        return result;
    };
    posix::SetMetaCalls(&meta);
    const auto notice = [](const std::string& s) {
        return s.find("ligt op een bestandssysteem dat oude blokken bewaart (btrfs)") !=
               std::string::npos;
    };
    Session s;
    const Tree before = Snapshot(s.tree.path());
    // How often a run on target told the notice.
    const auto told = [&](RunMode mode, bool strong, const std::string& target) {
        s.front.told.clear();
        EXPECT_EQ(s.session.TakeTarget(target), TargetRefusal::None);
        EXPECT_EQ(s.Run(mode, strong),
                  target == s.tree.path() ? RunEnd::Finished : RunEnd::FileDone);
        return std::ranges::count_if(s.front.told, notice);
    };
    EXPECT_EQ(told(RunMode::Encrypt, false, s.tree.path()), 0);
    EXPECT_EQ(told(RunMode::Decrypt, false, s.tree.path()), 0);
    EXPECT_EQ(told(RunMode::Encrypt, true, s.tree.path()), 1);
    s.registry.values = {{kMenu, "ja"}, {kPin, "C0FFEE"}};
    EXPECT_EQ(told(RunMode::Decrypt, false, s.tree.path()), 0);
    EXPECT_TRUE(s.front.told.empty());
    EXPECT_EQ(s.session.Stats().FilesDone, 2);
    const auto& summary = s.session.Summary();
    EXPECT_NE(std::ranges::find(summary, "Ontsleuteld: 2 bestanden"), summary.end());
    EXPECT_EQ(Snapshot(s.tree.path()), before);
    s.registry.values.clear();
    EXPECT_EQ(told(RunMode::Encrypt, true, s.tree / "a.txt"), 1);
    posix::SetMetaCalls(nullptr);
    const auto& lines = s.front.logged;
    const auto at = std::ranges::find_if(lines, notice);
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(std::ranges::count_if(lines, notice), 1);
    EXPECT_EQ(at[1], "  ") << "the summary follows";
}

}  // namespace
}  // namespace kolvik::test
