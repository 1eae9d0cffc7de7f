// SPDX-License-Identifier: GPL-3.0-or-later
// Runs started with the window's buttons: both passes, the questions between them, the summary
// in the log, and one file as the target.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <utility>

#include "Version.h"
#include "platform/posix/FileCalls.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A program folder with the log, and a target tree: a.txt, b.doc, sub/c.pdf, sub/deeper/d.
struct RunFixture : testing::Test {
    TempDir program, tree;
    std::unique_ptr<TestWindow> w;
    frmKolvik* f = nullptr;

    RunFixture() {
        WriteFile(tree / "a.txt", "alpha");
        WriteFile(tree / "b.doc", std::string(5000, 'b'));
        fs::create_directories(tree / "sub/deeper");
        WriteFile(tree / "sub/c.pdf", "gamma");
        WriteFile(tree / "sub/deeper/d", "delta");
    }
    void Start(const std::string& commandLine, const std::vector<std::string>& environment = {}) {
        denied.clear();
        w = std::make_unique<TestWindow>(program.path(), commandLine, nullptr, environment);
        f = w->form.get();
        f->Form_Load();
    }
    // A path the run may not open by its own name, as a folder that may be searched but not
    // read (-wx); the folders below it are opened relative to it.
    inline static std::string denied;
    void Run(bool decrypt, const std::string& password, bool log = true) {
        f->chkLoggen.value = log ? 1 : 0;
        posix::FileCalls calls = posix::RealFileCalls();
        calls.openat = [](int dirfd, const char* path, int flags, mode_t mode) {
            if (dirfd == AT_FDCWD && denied == path) return errno = EACCES, -1;
            return posix::RealFileCalls().openat(dirfd, path, flags, mode);
        };
        posix::SetFileCalls(&calls);
        w->Press(password, decrypt);
        posix::SetFileCalls(nullptr);
    }
    // The log's messages, without the quotes and the time of day around each.
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        std::stringstream in(ReadFile(program / "Kolvik.log"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(10, line.size() - 12));
        return lines;
    }
    std::vector<std::string> Shown() const { return w->dialogs.Texts(); }
};

// The wall clock goes back past midnight during the encryption: only the monotonic clock
// counts. The decryption is not logged.
TEST_F(RunFixture, EncryptThenDecryptFolderCountsAndLogs) {
    Start(tree.path());
    w->screen.onYield = [&, now = WallClock::now()] {
        w->clock.monotonic = std::chrono::steady_clock::time_point(std::chrono::seconds(125));
        w->clock.now = now - std::chrono::hours(23);
    };
    Run(false, "Geheim12");
    EXPECT_EQ(f->lblPercentage.text, "       Klaar !");
    EXPECT_EQ(f->lblTotalFiles.text, "Gedaan: 4\r\nOvergeslagen: 0");
    EXPECT_EQ(f->lblTijd.text, "2 min 5 sec");
    EXPECT_TRUE(f->cmdEncrypt.enabled && f->cmdDecrypt.enabled && f->chkLoggen.enabled);
    const std::string bar = "-------------------------06-12-2026-------------------------";
    const std::vector<std::string> logged = LogLines();
    EXPECT_EQ(logged,
              (std::vector<std::string>{bar, "  ", "Map: " + tree.path(),
                                        "Versleuteld: 4 bestanden", "Overgeslagen: 0 bestanden",
                                        "Totaal: 5015 bytes", "Verstreken tijd: 2 min 5 sec"}));
    Start(tree.path());
    Run(true, "Geheim12", false);
    EXPECT_EQ(LogLines(), logged);
    // The encrypted sizes: 5015 + 4 files * 10 + extensions 3 + 3 + 3 + 0.
    EXPECT_EQ(f->LastSummary,
              (std::vector<std::string>{"  ", "Map: " + tree.path(), "Ontsleuteld: 4 bestanden",
                                        "Overgeslagen: 0 bestanden", "Totaal: 5064 bytes",
                                        "Verstreken tijd: 0 min 0 sec"}));
}

// The session asks once whether to go on without the target (tests/session): the window asks
// with OK and Cancel, and Cancel ends the program. The engine asks when a file's folder cannot
// be read, naming the file; for a file named on its own that is the only message.
TEST_F(RunFixture, AccessQuestionsAreAskedWithOKAndCancel) {
    for (const MsgAnswer answer : {MsgAnswer::OK, MsgAnswer::Cancel}) {
        Start(tree.path());
        w->dialogs.answers = {answer};
        denied = tree.path();
        Run(true, "pw");
        ASSERT_EQ(Shown(),
                  std::vector<std::string>{"Kan geen toegang krijgen tot: " + tree.path()});
        EXPECT_EQ(w->dialogs.shown[0].buttons, MsgButtons::OKCancel);
        EXPECT_EQ(f->unloaded, answer == MsgAnswer::Cancel);
    }
    Start(tree / "a.txt");
    denied = tree.path();
    Run(false, "pw");
    EXPECT_EQ(Shown(), std::vector<std::string>{"Kan geen toegang krijgen tot: " + tree / "a.txt"});
    EXPECT_TRUE(f->unloaded) << "a file not encrypted closes the window as one encrypted does";
}

// Exit after a.txt, or after sub's only file c.pdf, when the first pass itself has nothing left
// to stop: either way the folder below is named as never reached.
TEST_F(RunFixture, ExitDuringFirstPassClosesWithoutSummary) {
    const struct {
        const char* target;                // in the tree
        std::vector<std::string> skipped;  // the log after its header
        const char* below;                 // a file the second pass would have reached
    } rows[] = {
        {".", {"SKIP " + tree / "b.doc", "SKIP " + tree / "sub"}, "sub/c.pdf"},
        {"sub", {"SKIP " + tree / "sub/deeper"}, "sub/deeper/d"},
    };
    for (const auto& r : rows) {
        fs::remove(program / "Kolvik.log");
        Start(tree / r.target);
        w->screen.onYield = [&] {
            if (f->session.Stats().FilesDone == 1 && !f->session.ExitRequested())
                f->OnClick(f->cmdExit);
        };
        Run(false, "pw");
        EXPECT_TRUE(f->unloaded) << r.target;
        const auto lines = LogLines();
        EXPECT_EQ(std::vector(lines.begin() + 1, lines.end()), r.skipped) << r.target;
        EXPECT_TRUE(fs::exists(tree / r.below)) << "the second pass never ran";
    }
}

// A Cancel on a wrong key ends the program; in the second pass the summary is still written.
TEST_F(RunFixture, CancelOnWrongKeyEndsTheProgram) {
    Start(tree.path());
    Run(false, "goed");
    Start(tree.path());
    w->dialogs.answers = {MsgAnswer::Cancel};
    Run(true, "fout");
    EXPECT_TRUE(f->unloaded);
    EXPECT_EQ(Shown(), std::vector<std::string>{tree / "a_txt.kol: Onjuiste sleutel"});
    // No summary after it: only what the run never reached.
    const auto stopped = LogLines();
    EXPECT_EQ(std::vector(stopped.end() - 3, stopped.end()),
              (std::vector<std::string>{"SKIP a_txt.kol", "SKIP " + tree / "b_doc.kol",
                                        "SKIP " + tree / "sub"}));
    Start(tree.path());
    w->dialogs.answers = {MsgAnswer::OK, MsgAnswer::OK, MsgAnswer::Cancel};
    Run(true, "fout");
    EXPECT_TRUE(f->unloaded);
    const auto lines = LogLines();
    EXPECT_EQ(lines.back(), "Verstreken tijd: 0 min 0 sec");
    EXPECT_EQ(lines[lines.size() - 4], "Ontsleuteld: 0 bestanden");
}

// One file: encrypting ends the program; decrypting lets a wrong key be tried again, opens
// the file and offers to encrypt it once more in the same window. An earlier version took 😀
// and turned it into the key "?": such a file still opens. That the window makes no new one
// with it, and frees the boxes it had locked, is in MainWindowTest.cpp.
TEST_F(RunFixture, SingleFileRoundTrip) {
    Start(tree / "a.txt");
    Run(false, "?", true);
    EXPECT_TRUE(f->unloaded && f->session.StopRequested());
    EXPECT_TRUE(fs::exists(tree / "a_txt.kol"));
    EXPECT_FALSE(fs::exists(program / "Kolvik.log"));

    Start(tree / "a_txt.kol");
    Run(true, "fout");
    ASSERT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_EQ(w->dialogs.shown[0].buttons, MsgButtons::OK);
    EXPECT_TRUE(f->txtPassword_1.enabled && f->txtPassword_1.text.empty());
    EXPECT_TRUE(f->txtPassword_2.enabled && f->txtPassword_2.text.empty());
    EXPECT_TRUE(f->cmdDecrypt.enabled && !f->cmdEncrypt.enabled && !f->unloaded);
    EXPECT_EQ(f->focus, "txtPassword_1");
    EXPECT_EQ(f->session.Stats().FilesSkipped, 0) << "a file target asks again instead of skipping";
    EXPECT_TRUE(fs::exists(tree / "a_txt.kol") && w->launcher.viewed.empty());

    Run(true, "\xF0\x9F\x98\x80");
    EXPECT_EQ(ReadFile(tree / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(tree / "a_txt.kol"));
    using Viewed = std::vector<std::pair<ViewKind, std::string>>;
    EXPECT_EQ(w->launcher.viewed, (Viewed{{ViewKind::Text, tree / "a.txt"}}));
    EXPECT_EQ(f->cmdEncrypt.tooltip, tree / "a.txt");
    EXPECT_TRUE(f->cmdGoEncrypt.visible && !f->cmdGoEncrypt.enabled && !f->cmdGoDecrypt.visible);
    EXPECT_TRUE(f->cmdEncrypt.enabled && !f->unloaded);

    Run(false, "pw");  // the window offered to encrypt the same file again
    EXPECT_TRUE(fs::exists(tree / "a_txt.kol") && !fs::exists(tree / "a.txt"));
    EXPECT_TRUE(f->unloaded);
}

// Without a target a run would work on the program's folder (tests/session): where that holds
// installed programs the window says so and lets only another target run.
TEST_F(RunFixture, NoTargetRunIsRefusedWhereTheProgramFolderHoldsInstalledPrograms) {
    Start("", {"PATH=/usr/bin:" + program.path()});
    Run(false, "pw");
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_NE(Shown()[0].find(program.path()), std::string::npos);
    EXPECT_NE(Shown()[0].find("\"Besleutel met Kolvik\""), std::string::npos);
    EXPECT_TRUE(f->cmdEncrypt.enabled && f->txtPassword_1.enabled);
    f->OnClick(f->cmdGoEncrypt);  // disabled again: a click from elsewhere does nothing
    EXPECT_EQ(Shown().size(), 1u);
}

// Refused by the PIN, a plain file named on its own is offered for encryption again, never
// for decryption. That decryption is never held is the session's (tests/session).
TEST_F(RunFixture, APinRefusalOffersOnlyTheModeTheFileAllows) {
    Start(tree / "a.txt");
    // The gate reads the store when the run starts.
    w->registry.values = {
        {"HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Options\\addtocontext", "ja"},
        {"HKEY_CLASSES_ROOT\\kolvik" KOLVIK_VERSION "\\Checksum\\", "C0FFEE"}};
    Run(false, "abcdef", false);
    EXPECT_TRUE(f->cmdEncrypt.enabled && !f->cmdDecrypt.enabled);
}

// A file another program still has open is encrypted, but its bytes cannot be overwritten:
// a file named on its own tells so in a message box, a folder run in its log. Either way it
// counts as done.
TEST_F(RunFixture, AnOriginalStillOpenElsewhereIsToldAsNotOverwritten) {
    const std::string said = tree / "a.txt" +
                             ": versleuteld, maar het origineel is niet overschreven: in gebruik "
                             "door een ander programma";
    for (const bool single : {true, false}) {
        const int held = ::open((tree / "a.txt").c_str(), O_RDONLY | O_CLOEXEC);
        Start(single ? tree / "a.txt" : tree.path());
        f->chkSterk.value = 1;
        Run(false, "Geheim12");
        ::close(held);
        EXPECT_TRUE(fs::exists(tree / "a_txt.kol") && !fs::exists(tree / "a.txt")) << single;
        EXPECT_EQ(f->session.Report().notOverwritten, 1) << single;
        EXPECT_EQ(f->session.Stats().FilesDone, single ? 1 : 4) << single;
        const auto lines = LogLines();
        EXPECT_EQ(Shown(), std::vector<std::string>(single ? 1 : 0, said)) << single;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), said), single ? 0 : 1) << single;
        Start(tree.path());
        Run(true, "Geheim12");
    }
}

// The last three characters in any case, no dot needed; anything else is not shown.
TEST(Viewer, KindByTheLastThreeCharactersInAnyCase) {
    const std::pair<std::optional<ViewKind>, std::vector<std::string>> byKind[] = {
        {ViewKind::Text, {"/d/report.TXT", "/d/mytxt"}},
        {ViewKind::Document, {"/d/letter.doc", "/d/nota.DoC"}},
        {ViewKind::Pdf, {"/d/a.Pdf", "pdf"}},
        {std::nullopt, {"/d/x.docx", "/d/a.txt.bak", "/d/a.txt ", "tx", ""}}};  // not shown
    for (const auto& [kind, paths] : byKind) {
        for (const std::string& path : paths) {
            TestWindow w;
            w->OpenInViewer(path);
            using Viewed = std::vector<std::pair<ViewKind, std::string>>;
            EXPECT_EQ(w.launcher.viewed, (kind ? Viewed{{*kind, path}} : Viewed{})) << path;
        }
    }
}

}  // namespace
}  // namespace kolvik::test
