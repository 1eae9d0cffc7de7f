#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::TestWindow;
using test::WriteFile;

// A program folder with the log, and a separate target tree.
struct RunFixture : testing::Test {
    TempDir program, tree;
    std::unique_ptr<TestWindow> w;

    void Start(const std::string& commandLine) {
        w = std::make_unique<TestWindow>(program.path(), commandLine);
        (*w)->Form_Load();
    }
    void Press(Control& mode, const std::string& password, bool log) {
        (*w)->txtPassword_1.text = (*w)->txtPassword_2.text = password;
        (*w)->chkLoggen.value = log ? 1 : 0;
        w->clock.now = WallClock::now();  // files written before this press are fair game
        (*w)->OnClick(mode);
    }
    void Run(bool decrypt, const std::string& password, bool log = true) {
        Press(decrypt ? (*w)->cmdDecrypt : (*w)->cmdEncrypt, password, log);
        (*w)->OnClick(decrypt ? (*w)->cmdGoDecrypt : (*w)->cmdGoEncrypt);
    }
    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        std::stringstream in(ReadFile(program / "Kolvik.log"));
        for (std::string line; std::getline(in, line);) {
            EXPECT_EQ(line.back(), '\r');
            line.pop_back();
            // Every line: quote, time of day, space, message, quote.
            std::smatch m;
            EXPECT_TRUE(
                std::regex_match(line, m, std::regex("\"[0-9]{2}:[0-9]{2}:[0-9]{2} (.*)\"")))
                << line;
            lines.push_back(m[1]);
        }
        return lines;
    }
    void MakeTree() {
        WriteFile(tree / "a.txt", "alpha");
        WriteFile(tree / "b.doc", std::string(5000, 'b'));
        fs::create_directories(tree / "sub/deeper");
        WriteFile(tree / "sub/c.pdf", "gamma");
        WriteFile(tree / "sub/deeper/d", "delta");
    }
};

TEST_F(RunFixture, EncryptThenDecryptFolderCountsAndLogs) {
    MakeTree();
    Start(tree.path());
    Run(false, "Geheim12");
    EXPECT_TRUE(fs::exists(tree / "a_txt.kol"));
    EXPECT_TRUE(fs::exists(tree / "sub/deeper/d_.kol"));
    EXPECT_FALSE(fs::exists(tree / "a.txt"));
    EXPECT_EQ((*w)->lblPercentage.text, "       Klaar !");
    EXPECT_EQ((*w)->lblTijd.text, "0 min 0 sec");
    EXPECT_TRUE((*w)->cmdEncrypt.enabled && (*w)->cmdDecrypt.enabled && (*w)->chkLoggen.enabled);

    Start(tree.path());
    Run(true, "Geheim12");
    EXPECT_EQ(ReadFile(tree / "a.txt"), "alpha");
    EXPECT_EQ(ReadFile(tree / "b.doc"), std::string(5000, 'b'));
    EXPECT_EQ(ReadFile(tree / "sub/deeper/d"), "delta");

    const std::vector<std::string> expected = {
        "-------------------------06-12-2026-------------------------", "  ",
        "Map: " + program.path(), "Versleuteld: 4 bestanden", "Overgeslagen: 0 bestanden",
        "Totaal: 5015 bytes", "Verstreken tijd: 0 min 0 sec",
        "-------------------------06-12-2026-------------------------", "  ",
        "Map: " + program.path(), "Ontsleuteld: 4 bestanden", "Overgeslagen: 0 bestanden",
        // Decryption counts the encrypted sizes: 5015 + 4 files * 10 + extensions 3 + 3 + 3 + 0.
        "Totaal: 5064 bytes", "Verstreken tijd: 0 min 0 sec"};
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(RunFixture, AccessQuestionOnlyWhileNoFileReached) {
    fs::create_directories(tree / "only/sub");
    WriteFile(tree / "only/sub/x.txt", "x");
    Start(tree.path());
    Run(false, "pw");
    // The top level holds no file: asked after the first pass only.
    ASSERT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_EQ(w->dialogs.shown[0].text, "Kan geen toegang krijgen tot: " + tree.path());
    EXPECT_EQ(w->dialogs.shown[0].buttons, MsgButtons::OKCancel);
    EXPECT_TRUE(fs::exists(tree / "only/sub/x_txt.kol"));

    // A second run in the same window: a file has been reached, no question any more.
    Run(true, "pw");
    EXPECT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_TRUE(fs::exists(tree / "only/sub/x.txt"));
}

TEST_F(RunFixture, CancelInAccessQuestionEndsRunWithoutSummary) {
    fs::create_directories(tree / "sub");
    WriteFile(tree / "sub/x.txt", "x");
    Start(tree.path());
    w->dialogs.answers = {MsgAnswer::Cancel};
    Run(false, "pw");
    EXPECT_TRUE((*w)->unloaded);
    EXPECT_TRUE(fs::exists(tree / "sub/x.txt"));
    EXPECT_EQ(LogLines().size(), 1u);  // the header only
}

TEST_F(RunFixture, ExitDuringFirstPassClosesWithoutSummary) {
    MakeTree();
    Start(tree.path());
    w->screen.onYield = [&] {
        if ((*w)->FilesDone == 1 && !(*w)->ExitRequested) (*w)->OnClick((*w)->cmdExit);
    };
    Run(false, "pw");
    EXPECT_TRUE((*w)->unloaded);
    EXPECT_EQ(LogLines().size(), 1u);
    EXPECT_TRUE(fs::exists(tree / "sub/c.pdf"));  // the second pass never ran
}

TEST_F(RunFixture, CancelOnWrongKeyInFirstPassEndsProgramWithoutSummary) {
    MakeTree();
    Start(tree.path());
    Run(false, "goed");
    Start(tree.path());
    w->dialogs.answers = {MsgAnswer::Cancel};
    Run(true, "fout");
    EXPECT_TRUE((*w)->unloaded);
    ASSERT_GE(w->dialogs.shown.size(), 1u);
    EXPECT_EQ(w->dialogs.shown[0].text, tree.path() + "/a_txt.kol: Onjuiste sleutel");
    EXPECT_TRUE(fs::exists(tree / "b_doc.kol"));
    EXPECT_EQ(LogLines().back(), "SKIP a_txt.kol");  // no summary after it
}

TEST_F(RunFixture, CancelOnWrongKeyInSecondPassStillWritesSummary) {
    fs::create_directories(tree / "sub");
    WriteFile(tree / "top.txt", "t");
    WriteFile(tree / "sub/x.txt", "x");
    Start(tree.path());
    Run(false, "goed");
    Start(tree.path());
    w->dialogs.answers = {MsgAnswer::OK, MsgAnswer::Cancel};
    Run(true, "fout");
    EXPECT_TRUE((*w)->unloaded);
    const auto lines = LogLines();
    EXPECT_EQ(lines.back(), "Verstreken tijd: 0 min 0 sec");
    EXPECT_EQ(lines[lines.size() - 4], "Ontsleuteld: 0 bestanden");
}

// One file: encrypting ends the program; decrypting lets a wrong key be tried again, opens
// the file and offers to encrypt it once more in the same window.
TEST_F(RunFixture, SingleFileRoundTrip) {
    WriteFile(tree / "brief.txt", "hallo");
    Start(tree / "brief.txt");
    Run(false, "pw", true);
    EXPECT_TRUE((*w)->unloaded);
    EXPECT_TRUE((*w)->StopRequested);
    EXPECT_TRUE(fs::exists(tree / "brief_txt.kol"));
    EXPECT_FALSE(fs::exists(program / "Kolvik.log"));

    Start(tree / "brief_txt.kol");
    Run(true, "fout");
    ASSERT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_EQ(w->dialogs.shown[0].text, tree / "brief_txt.kol: Onjuiste sleutel");
    EXPECT_EQ(w->dialogs.shown[0].buttons, MsgButtons::OK);
    EXPECT_TRUE((*w)->txtPassword_1.enabled && (*w)->txtPassword_1.text.empty());
    EXPECT_TRUE((*w)->txtPassword_2.enabled && (*w)->txtPassword_2.text.empty());
    EXPECT_TRUE((*w)->cmdDecrypt.enabled && !(*w)->cmdEncrypt.enabled);
    EXPECT_EQ((*w)->focus, "txtPassword_1");
    EXPECT_EQ((*w)->FilesSkipped, 0) << "a file target asks again instead of skipping";
    EXPECT_TRUE(fs::exists(tree / "brief_txt.kol") && w->launcher.opened.empty());

    Run(true, "pw");
    EXPECT_EQ(ReadFile(tree / "brief.txt"), "hallo");
    ASSERT_EQ(w->launcher.opened.size(), 1u);
    EXPECT_EQ(w->launcher.opened[0], tree / "brief.txt");
    EXPECT_FALSE(fs::exists(tree / "brief_txt.kol"));
    EXPECT_EQ((*w)->cmdEncrypt.tooltip, tree / "brief.txt");
    EXPECT_TRUE((*w)->cmdGoEncrypt.visible && !(*w)->cmdGoEncrypt.enabled);
    EXPECT_FALSE((*w)->cmdGoDecrypt.visible);
    EXPECT_TRUE((*w)->cmdEncrypt.enabled);
    EXPECT_FALSE((*w)->unloaded);

    Run(false, "pw");  // the window offered to encrypt the same file again
    EXPECT_TRUE(fs::exists(tree / "brief_txt.kol"));
    EXPECT_FALSE(fs::exists(tree / "brief.txt"));
    EXPECT_TRUE((*w)->unloaded);
}

TEST_F(RunFixture, NoTargetRunNeverTouchesAFolderOfInstalledPrograms) {
    WriteFile(program / "tool", "binary");
    w = std::make_unique<TestWindow>(program.path(), "");
    w->form->svc.process.environment = {"PATH=/usr/bin:" + program.path()};
    (*w)->Form_Load();
    Run(false, "pw");
    ASSERT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_NE(w->dialogs.shown[0].text.find(program.path()), std::string::npos);
    EXPECT_NE(w->dialogs.shown[0].text.find("\"Besleutel met Kolvik\""), std::string::npos);
    EXPECT_EQ(ReadFile(program / "tool"), "binary");
    EXPECT_FALSE(fs::exists(program / "tool_.kol"));
    EXPECT_TRUE((*w)->cmdEncrypt.enabled && (*w)->txtPassword_1.enabled);
}

TEST_F(RunFixture, NoTargetRunWorksOnProgramFolderOtherwise) {
    WriteFile(program / "notes.txt", "n");
    Start("");
    Run(false, "pw", false);
    EXPECT_TRUE(fs::exists(program / "notes_txt.kol"));
    EXPECT_TRUE(w->dialogs.shown.empty());  // no access question without a target
}

TEST_F(RunFixture, ElapsedTimeComesFromTheMonotonicClock) {
    MakeTree();
    Start(tree.path());
    // The wall clock passes midnight during the run; only the monotonic clock counts.
    w->clock.now = WallClock::now();
    bool advanced = false;
    w->screen.onYield = [&] {
        if (advanced) return;
        advanced = true;
        w->clock.monotonic += std::chrono::seconds(125);
        w->clock.now -= std::chrono::hours(23);
    };
    Run(false, "pw", false);
    EXPECT_EQ((*w)->lblTijd.text, "2 min 5 sec");
    EXPECT_EQ((*w)->LastSummary[5], "Verstreken tijd: 2 min 5 sec");
    EXPECT_EQ((*w)->LastSummary[2], "Versleuteld: 4 bestanden");
    EXPECT_TRUE(fs::exists(tree / "a_txt.kol"));
    EXPECT_FALSE(fs::exists(program / "Kolvik.log")) << "logging was off";
}

TEST_F(RunFixture, PinGuardsEncryptionButNeverDecryption) {
    MakeTree();
    Start(tree.path());
    Run(false, "abcdef", false);
    w = std::make_unique<TestWindow>(program.path(), tree.path());
    w->registry.values["HKEY_CLASSES_ROOT\\kolvik10.0.2\\Options\\addtocontext"] = "ja";
    w->registry.values["HKEY_CLASSES_ROOT\\kolvik10.0.2\\Checksum\\"] = "C0FFEE";
    (*w)->Form_Load();
    Run(true, "abcdef", false);  // decryption asks for no PIN code
    EXPECT_TRUE(w->dialogs.shown.empty());
    EXPECT_EQ(ReadFile(tree / "a.txt"), "alpha");
    Run(false, "abcdef", false);  // encryption does, and refuses
    ASSERT_EQ(w->dialogs.shown.size(), 1u);
    EXPECT_EQ(w->dialogs.shown[0].text, "Foute PIN-code");
    EXPECT_EQ(ReadFile(tree / "a.txt"), "alpha");
    EXPECT_FALSE(fs::exists(tree / "a_txt.kol"));
}

}  // namespace
}  // namespace kolvik
