#include <gtest/gtest.h>

#include <filesystem>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

using test::TempDir;
using test::TestWindow;

struct ModeCase {
    bool decrypt;
    const char* first;
    const char* second;
    bool accepted;
    const char* firstAfter;   // text of txtPassword_1 afterwards
    const char* secondAfter;  // text of txtPassword_2 afterwards
    const char* focusAfter;
};

class ModeButtons : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeButtons, CompareEntriesExactly) {
    const ModeCase c = GetParam();
    TestWindow w;
    w->cmdGoEncrypt.enabled = w->cmdGoDecrypt.enabled = false;  // as start-up leaves them
    w->txtPassword_1.text = c.first;
    w->txtPassword_2.text = c.second;
    w.clock.now += std::chrono::nanoseconds(123456789);
    w->OnClick(c.decrypt ? w->cmdDecrypt : w->cmdEncrypt);

    EXPECT_EQ(w->ModeTime, w.clock.now);  // recorded on every press, to the nanosecond
    EXPECT_EQ(w->txtPassword_1.text, c.firstAfter);
    EXPECT_EQ(w->txtPassword_2.text, c.secondAfter);
    EXPECT_EQ(w->focus, c.focusAfter);
    ASSERT_EQ(w.dialogs.shown.size(), c.accepted ? 0u : 1u);
    if (!c.accepted) {
        EXPECT_EQ(w.dialogs.shown[0].text, "Ongelijke invoer");
        EXPECT_EQ(w.dialogs.shown[0].buttons, MsgButtons::OK);
        EXPECT_TRUE(w->txtPassword_1.enabled);
        EXPECT_FALSE(w->cmdGoEncrypt.enabled || w->cmdGoDecrypt.enabled);
        return;
    }
    Control& go = c.decrypt ? w->cmdGoDecrypt : w->cmdGoEncrypt;
    Control& other = c.decrypt ? w->cmdGoEncrypt : w->cmdGoDecrypt;
    EXPECT_EQ(w->DecryptMode, c.decrypt);
    EXPECT_EQ(go.text, c.decrypt ? "Decrypt" : "Encrypt");
    EXPECT_TRUE(go.visible && go.enabled);
    EXPECT_FALSE(other.visible);
    EXPECT_FALSE(w->txtPassword_1.enabled || w->txtPassword_2.enabled);
    EXPECT_FALSE(w->cmdEncrypt.enabled || w->cmdDecrypt.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModeButtons,
    testing::Values(ModeCase{false, "Geheim", "Geheim", true, "Geheim", "Geheim", "cmdGoEncrypt"},
                    ModeCase{true, "Geheim", "Geheim", true, "Geheim", "Geheim", "cmdGoDecrypt"},
                    // Letter case counts.
                    ModeCase{false, "Geheim", "geheim", false, "", "", "txtPassword_1"},
                    // Decryption asks only for the confirmation again.
                    ModeCase{true, "Geheim", "GEHEIM", false, "Geheim", "", "txtPassword_2"},
                    // Two empty entries are equal.
                    ModeCase{false, "", "", true, "", "", "cmdGoEncrypt"},
                    ModeCase{true, "", "", true, "", "", "cmdGoDecrypt"}));

TEST(MainWindow, ExitRaisesFlagAndCloses) {
    TestWindow w;
    w->OnClick(w->cmdExit);
    EXPECT_TRUE(w->ExitRequested);
    EXPECT_TRUE(w->unloaded);
}

TEST(MainWindow, CapsLockNoticeFollowsKeyOnReleaseAndResize) {
    TestWindow w;
    w.keys.capsLock = true;
    w->OnKeyUp(20, 0);
    EXPECT_TRUE(w->lblCapsLock.visible);
    w.keys.capsLock = false;
    w->OnResize();
    EXPECT_FALSE(w->lblCapsLock.visible);
}

// A built bar: the tests read which blocks show.
struct ProgressBar : testing::Test {
    TestWindow w;
    ProgressBar() { w->BuildProgressBar(); }
    std::vector<int> Shown() {
        std::vector<int> shown;
        for (int i = 0; i < frmKolvik::kBlocks; ++i)
            if (w->element[i].visible) shown.push_back(i);
        return shown;
    }
};

// Blocks 0 to last; none for -1.
std::vector<int> UpTo(int last) {
    std::vector<int> r;
    for (int i = 0; i <= last; ++i) r.push_back(i);
    return r;
}

TEST_F(ProgressBar, BuiltBlocksStand150TwipsApartHidden) {
    EXPECT_EQ(w->element[38].place.left, 38 * 150);
    EXPECT_EQ(w->element[38].place.top, 3300);
    EXPECT_EQ(w->element[38].place.width, 240);
    EXPECT_EQ(Shown(), UpTo(-1));
}

TEST_F(ProgressBar, FillsInOrderAndRestartsForNextFile) {
    w->FileBytes = 3800;
    w->ShowFileProgress(1001);  // 1001 / 3800 * 38 = 10.01
    EXPECT_EQ(Shown(), UpTo(10));
    w->ShowFileProgress(3800);
    EXPECT_EQ(Shown(), UpTo(38));

    // A smaller file after a larger one: the first update finds n below NextBlock.
    w->ResetFileProgress();
    EXPECT_EQ(Shown(), UpTo(-1));
    w->FileBytes = 2000;
    w->ShowFileProgress(1001);  // 19.019
    EXPECT_EQ(Shown(), UpTo(19));
    EXPECT_EQ(w->NextBlock, 20);
}

TEST_F(ProgressBar, PastTheLastBlockStopsAndKeepsNextBlock) {
    w->FileBytes = 1001;
    w->ShowFileProgress(1014);  // header included: 1014 / 1001 * 38 = 38.49, n = 38
    EXPECT_EQ(w->NextBlock, 39);
    w->FileBytes = 1000;
    w->NextBlock = 30;
    w->ShowFileProgress(1265);  // n = 48
    EXPECT_EQ(Shown(), UpTo(38));
    EXPECT_EQ(w->NextBlock, 30);
}

TEST_F(ProgressBar, StoppedRunKeepsItsBlocks) {
    w->FileBytes = 3800;
    w->ShowFileProgress(1001);
    w->StopRequested = true;
    w->ResetFileProgress();
    EXPECT_EQ(Shown(), UpTo(10));
}

TEST_F(ProgressBar, EmptyFileShowsNothing) {
    w->FileBytes = 0;
    w->ShowFileProgress(1001);
    EXPECT_EQ(Shown(), UpTo(-1));
}

TEST(Percentage, SevenSpacesTenthsAndPercentSign) {
    const struct {
        std::int64_t done, total;
        const char* separator;
        const char* text;
    } cases[] = {
        {123, 1000, ",", "       12,3 %"},
        {500, 1000, ",", "       50 %"},
        {1, 3, ".", "       33.3 %"},
        {999, 1000, ",", "       99,9 %"},
        {3, 4000, ",", "       0 %"},
        {6'000'000'000, 8'000'000'000, ",", "       75 %"},
        {5, 0, ",", "vorige"},  // a total of 0 leaves the label as it was
    };
    for (const auto& c : cases) {
        TestWindow w;
        w.regional.separator = c.separator;
        w->lblPercentage.text = "vorige";
        w->BytesDone = c.done;
        w->TotalBytes = c.total;
        w->ShowPercentage();
        EXPECT_EQ(w->lblPercentage.text, c.text) << c.done << "/" << c.total;
    }
}
TEST(Counts, TotalFilesLabelHasTwoLines) {
    TestWindow w;
    w->FilesDone = 40000;  // past the 16-bit range
    w->FilesSkipped = 2;
    w->ShowTotalFiles();
    EXPECT_EQ(w->lblTotalFiles.text, "Gedaan: 40000\r\nOvergeslagen: 2");
}

TEST(ActivityLog, CreatedEmptyThenLineBytesInWindows1252WithCrLf) {
    TempDir dir;
    TestWindow w(dir.path());
    ASSERT_TRUE(w->gLog(""));
    ASSERT_TRUE(std::filesystem::exists(dir / "Kolvik.log"));
    EXPECT_EQ(test::ReadFile(dir / "Kolvik.log"), "");
    ASSERT_TRUE(w->gLog("SKIP caf\xC3\xA9 \"x\".txt"));
    ASSERT_TRUE(w->gLog("  "));
    ASSERT_TRUE(w->gLog("SKIP nieuwe\nregel\r.txt"));  // one entry stays one line
    EXPECT_EQ(test::ReadFile(dir / "Kolvik.log"),
              "\"12:34:56 SKIP caf\xE9 \"x\".txt\"\r\n\"12:34:56   \"\r\n"
              "\"12:34:56 SKIP nieuwe?regel?.txt\"\r\n");
}

TEST(ActivityLog, UnwritableLogReportsFailure) {
    TestWindow w("/nonexistent/kolvik");
    EXPECT_FALSE(w->gLog("x"));
}

TEST(ActivityLog, SwitchTooltipsNameTheLogFile) {
    TempDir dir;
    TestWindow w(dir.path());
    for (const int on : {1, 0}) {
        w->chkLoggen.value = on;
        w->OnClick(w->chkLoggen);
        const std::string tip = on ? dir / "Kolvik.log" : "Loggen uitgeschakeld";
        EXPECT_EQ(w->chkLoggen.tooltip, tip);
        EXPECT_EQ(w->lblLoggen.tooltip, tip);
    }
}

}  // namespace
}  // namespace kolvik
