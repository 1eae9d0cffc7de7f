// SPDX-License-Identifier: GPL-3.0-or-later
// A run as the session runs it, with no window: its guards, both passes, the file named on its
// own, what it tells and how it ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "EngineKit.h"
#include "Reference.h"
#include "Version.h"
#include "session/RunSession.h"
#include "session/Texts.h"
#include "support/Fakes.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

struct Front final : RunFront {
    std::vector<std::string> told;
    void Tell(const std::string& text, Tone) override { told.push_back(text); }
    bool GoOnWithoutTargetAccess(const std::string& text) override {
        told.push_back(text);
        return true;
    }
    void LogLine(const std::string&) override {}
};

const std::string kMenu = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Options\\addtocontext";
const std::string kPin = "HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Checksum\\";

// A session in a program folder of its own, over a tree of a.txt and sub/b.txt; its mode time
// comes after every file the test writes.
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
    }
    RunEnd Run(RunMode mode) {
        EXPECT_EQ(session.ChooseMode(mode, "pw", "pw", false), ModeRefusal::None);
        RunRequest request;
        request.mode = mode;
        return session.Run(request, "pw", front);
    }
};

TEST(Session, EndsAsItsGuardsAndStepsDecide) {
    const struct {
        const char* name;
        const char* target;  // in the tree, "" for the tree itself; nullptr: none
        std::map<std::string, std::string> registry;
        bool gone;  // a.txt removed after the target was taken
        RunEnd end;
        std::vector<std::string> told;  // "/...": after the tree's path
        const char* a;                  // a.txt, its copy a_txt.kol, or nothing
    } rows[] = {
        {"folder", "", {}, false, RunEnd::Finished, {}, "a_txt.kol"},
        {"PIN refused",
         "",
         {{kMenu, "ja"}, {kPin, "C0FFEE"}},
         false,
         RunEnd::PinRefused,
         {"Foute PIN-code"},
         "a.txt"},
        // The PIN's code is computed under a key of its own: the files are under the password.
        {"PIN stored by the first run",
         "",
         {{kMenu, "ja"}},
         false,
         RunEnd::Finished,
         {std::string(kPinFirstRunText)},
         "a_txt.kol"},
        {"file", "a.txt", {}, false, RunEnd::FileDone, {}, "a_txt.kol"},
        {"file gone", "a.txt", {}, true, RunEnd::FileNotDone, {"/a.txt: niet gevonden"}, nullptr},
        // Told in the front end's own words: the window's test reads the text.
        {"no target, the program folder holds installed programs",
         nullptr,
         {},
         false,
         RunEnd::InstalledPrograms,
         {"*"},
         "a.txt"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Session s;
        s.registry.values = r.registry;
        if (r.target) {
            const std::string target = *r.target ? s.tree / r.target : s.tree.path();
            ASSERT_EQ(s.session.TakeTarget(target), TargetRefusal::None);
        } else {
            s.facts.programFolder = s.tree.path();
            s.facts.environment = {"PATH=/usr/bin:" + s.tree.path()};
        }
        if (r.gone) fs::remove(s.tree / "a.txt");
        EXPECT_EQ(s.Run(RunMode::Encrypt), r.end);
        std::vector<std::string> told = r.told;
        for (auto& t : told) t = t[0] == '/' ? s.tree.path() + t : t;
        if (told == std::vector<std::string>{"*"}) told = {InstalledProgramsText(s.tree.path())};
        EXPECT_EQ(s.front.told, told);
        EXPECT_EQ(s.session.Report().left, r.gone ? 1 : 0);
        const Tree after = Snapshot(s.tree.path());
        const std::string a = r.a ? r.a : "";
        EXPECT_EQ(after.count("a.txt") + after.count("a_txt.kol"), a.empty() ? 0u : 1u);
        if (!a.empty()) {
            EXPECT_EQ(after.at(a),
                      a == "a.txt" ? "file:alpha" : "file:" + RefEncrypted("pw", "txt", "alpha"));
        }
    }
}

// A decryption is never held by the PIN, and each run counts from nought.
TEST(Session, DecryptionIsNeverGatedAndEachRunCountsAfresh) {
    Session s;
    const Tree before = Snapshot(s.tree.path());
    ASSERT_EQ(s.session.TakeTarget(s.tree.path()), TargetRefusal::None);
    EXPECT_EQ(s.Run(RunMode::Encrypt), RunEnd::Finished);
    s.registry.values = {{kMenu, "ja"}, {kPin, "C0FFEE"}};
    EXPECT_EQ(s.Run(RunMode::Decrypt), RunEnd::Finished);
    EXPECT_EQ(s.session.Stats().FilesDone, 2);
    const auto& summary = s.session.Summary();
    EXPECT_NE(std::find(summary.begin(), summary.end(), "Ontsleuteld: 2 bestanden"), summary.end());
    EXPECT_TRUE(s.front.told.empty());
    EXPECT_EQ(Snapshot(s.tree.path()), before);
}

}  // namespace
}  // namespace kolvik::test
