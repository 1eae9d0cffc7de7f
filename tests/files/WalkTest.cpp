// SPDX-License-Identifier: GPL-3.0-or-later
// The walk's skip words, its size scan, its stops and its grouped syncs; the viewer choice.
#include <gtest/gtest.h>

#include <filesystem>

#include "FaultCalls.h"
#include "Helpers.h"
#include "Reference.h"

namespace kolvik::test {
namespace {
namespace fs = std::filesystem;

// A folder whose path holds a skip word is left whole, with one report and one log line; a
// file named on its own there is left by its own path test. Below the target the test is on
// the whole path, so "recycler2" and "Old_RESTORE_copy" count. Every file such a folder holds
// counts as skipped.
TEST(Walk, SkipWordFoldersAreLeftWholeWithOneLine) {
    TempDir root;
    const std::string target = root / "doel";
    Plant(target, {{"top.txt", 1},
                   {"RECYCLER/direct.txt", 2},
                   {"RECYCLER/deep/below.txt", 4},
                   {"recycler2/x.txt", 8},
                   {"Old_RESTORE_copy/y.txt", 16},
                   {"System Volume Information/z.txt", 32},
                   {"normal/a.txt", 64},
                   {"normal/deeper/b.txt", 128},
                   {"$Recycle.Bin/S-1-5-21/r.txt", 256}});
    auto expected = Snapshot(target);
    for (const std::string f : {"top", "normal/a", "normal/deeper/b"}) {
        expected.erase(f + ".txt");
        expected[f + "_txt.kol"] =
            "file:" + RefEncrypted("geheim", "txt", ReadFile(target + "/" + f + ".txt"));
    }
    Window w;
    w.Encrypt(target);
    EXPECT_EQ(Snapshot(target), expected);
    const Left left = {{root / "doel/$Recycle.Bin", LeftReason::SkipWordFolder},
                       {root / "doel/Old_RESTORE_copy", LeftReason::SkipWordFolder},
                       {root / "doel/RECYCLER", LeftReason::SkipWordFolder},
                       {root / "doel/System Volume Information", LeftReason::SkipWordFolder},
                       {root / "doel/recycler2", LeftReason::SkipWordFolder}};
    EXPECT_EQ(w.left, left);
    EXPECT_EQ(w->session.FilesSkipped, 6);  // 1 + 2 + 1 + 1 + 1 files in the five folders
    EXPECT_EQ(w.Skips().size(), 5u);
    EXPECT_EQ(w->session.TotalBytes, 511);  // the folder's size covers everything below it

    Window t;  // a skip word in the target's own path
    fs::rename(target + "/recycler2", root / "x_RESTORE");
    t.Encrypt(root / "x_RESTORE");
    EXPECT_EQ(t.left, (Left{{root / "x_RESTORE", LeftReason::SkipWordFolder}}));
    EXPECT_TRUE(fs::exists(root / "x_RESTORE/x.txt"));
    EXPECT_EQ(t->session.FilesSkipped, 1);
}

// The scan that stands in for an unreadable size leaves out folders named by a skip word as a
// whole, and counts sizes past 2 GiB exactly.
TEST(Walk, MeasureTargetUsesTheNameTestAndSixtyFourBits) {
    TempDir target;
    Plant(target.path(), {{"f", 10},
                          {"My RECYCLER/f", 20},
                          {"recycler/f", 40},
                          {"sub/f", 80},
                          {"sub/RECYCLED/f", 160},
                          {"big.bin", 0}});
    const std::int64_t big = (std::int64_t{3} << 30) + 7;  // sparse: no disk used
    fs::resize_file(target / "big.bin", big);
    Window w;
    w->lblFiles.text = "old";
    EXPECT_EQ(w->MeasureTarget(target.path()), big + 10 + 20 + 80 + 160);
    EXPECT_EQ(w->lblFiles.text, "");
}

TEST(Walk, AStopBeforeTheRunTransformsNothingAndClearsCaptions) {
    TempDir target;
    Plant(target.path(), {{"a.txt", 1}, {"sub/b.txt", 1}});
    const auto before = Snapshot(target.path());
    Window w;
    w->session.StopRequested = true;
    w->lblTijd.text = w->lblFiles.text = w->lblTotalFiles.text = "stale";
    w.Encrypt(target.path());
    EXPECT_EQ(Snapshot(target.path()), before);
    EXPECT_EQ(w->lblTijd.text + w->lblFiles.text + w->lblTotalFiles.text, "");
    EXPECT_EQ(w->session.TotalBytes, 2);
}

TEST(Viewer, LastThreeCharactersInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"/d/report.TXT", true}, {"/d/letter.doc", true}, {"/d/a.Pdf", true}, {"/d/mytxt", true},
        {"/d/x.docx", false},    {"/d/a.txt.bak", false}, {"/d/tx", false},   {"", false}};
    for (const auto& [path, opens] : cases) {
        TestWindow w;
        w->WindowsShell = false;  // the desktop's viewers; Windows has its own table below
        w->OpenInViewer(path);
        EXPECT_EQ(w.launcher.opened.size(), opens ? 1u : 0u) << path;
    }
}

// Windows: notepad by command line, Foxit by its registered command, else the association.
TEST(Viewer, WindowsViewers) {
    const std::string foxit = "\"C:\\Foxit\\Foxit Reader.exe\" \"%1\"";
    struct Case {
        const char* path;
        const char* pdfHandler;  // default value of .pdf, or nullptr
        std::string foxitCommand;
        std::string started;  // expected command line, maximised with focus
        bool opened;          // through the association
    } const cases[] = {
        {"C:\\d\\Report.TXT", nullptr, "", "C:\\WINDOWS\\notepad.exe C:\\d\\Report.TXT", false},
        {"C:\\my d\\a.txt", nullptr, "", "C:\\WINDOWS\\notepad.exe C:\\my d\\a.txt", false},
        {"C:\\d\\brief.doc", nullptr, "", "", true},
        // The last four characters are the quoted %1; the space before them stays.
        {"C:\\my d\\a.pdf", "FoxitReader.Document", foxit,
         "\"C:\\Foxit\\Foxit Reader.exe\"  \"C:\\my d\\a.pdf\"", false},
        {"C:\\d\\a.pdf", "FoxitReader.Document", "abc", "abc \"C:\\d\\a.pdf\"", false},
        {"C:\\d\\a.pdf", "foxitreader.document", foxit, "", true},
        {"C:\\d\\a.pdf", nullptr, "", "", true},
        {"C:\\d\\a.docx", nullptr, "", "", false},
    };
    for (const auto& c : cases) {
        TestWindow w;
        w->WindowsShell = true;
        w->SystemRootPath = "C:\\WINDOWS";
        if (c.pdfHandler) w.registry.values["HKEY_CLASSES_ROOT\\.pdf\\"] = c.pdfHandler;
        if (!c.foxitCommand.empty())
            w.registry.values["HKEY_CLASSES_ROOT\\FoxitReader.Document\\shell\\open\\command\\"] =
                c.foxitCommand;
        w->OpenInViewer(c.path);
        const std::vector<std::pair<std::string, WindowState>> started =
            c.started.empty() ? std::vector<std::pair<std::string, WindowState>>{}
                              : std::vector{std::pair{c.started, WindowState::MaximizedFocus}};
        EXPECT_EQ(w.launcher.started, started) << c.path;
        EXPECT_EQ(w.launcher.opened.size(), c.opened ? 1u : 0u) << c.path;
    }
}

}  // namespace
}  // namespace kolvik::test
