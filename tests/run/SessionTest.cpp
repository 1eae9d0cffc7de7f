// SPDX-License-Identifier: GPL-3.0-or-later
// The run session's acceptance, as values, without any window: the target, the mode with its
// two entries, and the PIN gate across a restart.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "Version.h"
#include "session/RunSession.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
using namespace kolvik::test;
namespace {

class QuietEvents : public RunEvents {
  public:
    int yields = 0;
    void Yield() override { ++yields; }
    void FileStepBegins() override {}
    void FileStarted(const std::string&) override {}
    void Progress(std::int64_t) override {}
    void CountsChanged() override {}
    void Skipped(const std::string&) override {}
    void Left(const std::string&, LeftReason) override {}
    void Transformed(const std::string&, bool) override {}
    bool GoOnWithoutAccess() override { return true; }
    WrongKeyAnswer AskWrongKey(const std::string&) override { return WrongKeyAnswer::GoOn; }
    void TellUnopenable(const std::string&, LeftReason) override {}
    void DiskFull(const std::string&) override {}
    void Exited() override {}
    void StoppedAtTargetFiles() override {}
    void StoppedBetweenFolders() override {}
    void Measuring(bool) override {}
};

struct Session {
    QuietEvents events;
    FakeClock clock;
    MapRegistry registry;
    ProcessFacts facts;
    RunSession run{events, clock, registry, facts};
};

TEST(Session, ChoosingTheModeJudgesBothEntries) {
    // "\xC4\xB3" is U+0133, outside Windows-1252; "\xE2\x82\xAC" is the euro sign, inside it.
    struct Case {
        RunMode mode;
        const char *password, *confirmation;
        bool strong;
        ModeRefusal expected;
    } const cases[] = {
        {RunMode::Encrypt, "abc", "abd", false, ModeRefusal::Unequal},
        {RunMode::Encrypt, "", "x", false, ModeRefusal::Unequal},  // unequal before empty
        {RunMode::Encrypt, "", "", false, ModeRefusal::Empty},
        {RunMode::Encrypt, "", "", true, ModeRefusal::Empty},
        {RunMode::Encrypt, "\xC4\xB3", "\xC4\xB3", false, ModeRefusal::NotStorable},
        {RunMode::Encrypt, "\xC4\xB3", "\xC4\xB3", true, ModeRefusal::None},
        {RunMode::Encrypt, "\xE2\x82\xAC", "\xE2\x82\xAC", false, ModeRefusal::None},
        {RunMode::Decrypt, "abc", "abd", false, ModeRefusal::Unequal},
        {RunMode::Decrypt, "", "", false, ModeRefusal::None},
        {RunMode::Decrypt, "\xC4\xB3", "\xC4\xB3", false, ModeRefusal::None},
    };
    for (const auto& c : cases) {
        Session s;
        s.clock.now = WallClock::time_point(std::chrono::hours(1000));
        const ModeRefusal got = s.run.ChooseMode(c.mode, c.password, c.confirmation, c.strong);
        SCOPED_TRACE(std::string(c.password) + "/" + c.confirmation);
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(s.run.Report.passwordRefused, c.expected != ModeRefusal::None);
        // Refused or not, files changed from this moment on are left alone.
        EXPECT_EQ(s.run.ModeTime, s.clock.now);
        if (c.expected == ModeRefusal::None) {
            EXPECT_EQ(s.run.DecryptMode, c.mode == RunMode::Decrypt);
            EXPECT_EQ(s.run.StrongChosen, c.strong);
        }
    }
}

TEST(Session, TargetsAndTheModesTheyAllow) {
    TempDir dir;
    for (const char* name : {"a.txt", "b_txt.kol", "C_TXT.KOL", "noext"}) std::ofstream(dir / name);
    ASSERT_EQ(mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    struct Case {
        std::string path;
        TargetRefusal expected;
        bool folder, encrypt, decrypt;
    } const cases[] = {
        {dir.path(), TargetRefusal::None, true, true, true},
        {dir / "a.txt", TargetRefusal::None, false, true, false},
        {dir / "b_txt.kol", TargetRefusal::None, false, false, true},
        {dir / "C_TXT.KOL", TargetRefusal::None, false, false, true},
        {dir / "noext", TargetRefusal::NoExtension, false, true, true},
        {dir / "gone.txt", TargetRefusal::NotFound, false, true, true},
        {dir / "pipe.txt", TargetRefusal::NotFileOrFolder, false, true, true},
    };
    for (const auto& c : cases) {
        Session s;
        SCOPED_TRACE(c.path);
        EXPECT_EQ(s.run.TakeTarget(c.path), c.expected);
        EXPECT_EQ(s.run.HasFolderTarget, c.folder);
        EXPECT_EQ(s.run.HasFileTarget, c.expected == TargetRefusal::None && !c.folder);
        EXPECT_EQ(s.run.ModeAllowed(RunMode::Encrypt), c.encrypt);
        EXPECT_EQ(s.run.ModeAllowed(RunMode::Decrypt), c.decrypt);
    }
}

TEST(Session, ThePinIsTheFirstThreeCharactersAndOutlivesTheSession) {
    const std::string key = std::string("HKEY_CLASSES_ROOT\\kolvik") + KOLVIK_VERSION;
    Session first;
    EXPECT_EQ(first.run.CheckPin("Geheim"), PinCheck::NotAsked);  // no context menu
    first.registry.values[key + "\\Options\\addtocontext"] = "ja";
    first.run.ReadRegistration("kolvik" KOLVIK_VERSION);
    ASSERT_EQ(first.run.CheckPin("Geheim"), PinCheck::FirstRun);
    first.run.StorePin("Geheim");
    const std::string stored = first.registry.values[key + "\\Checksum\\"];
    EXPECT_FALSE(stored.empty());
    // Computing the code gives way to the events once per character.
    EXPECT_EQ(first.events.yields, 3);

    Session later;
    later.registry.values = first.registry.values;
    later.run.ReadRegistration("kolvik" KOLVIK_VERSION);
    EXPECT_EQ(later.run.CheckPin("GehXYZ"), PinCheck::Matches);
    EXPECT_FALSE(later.run.Report.pinRefused);
    EXPECT_EQ(later.run.CheckPin("Gex"), PinCheck::Refused);
    EXPECT_TRUE(later.run.Report.pinRefused);
}

}  // namespace
}  // namespace kolvik
