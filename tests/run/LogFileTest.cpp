// SPDX-License-Identifier: GPL-3.0-or-later
// The activity log where it cannot or must not be written: a link or another kind of file in
// its place, and a write that fails for want of room.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "support/Fakes.h"
#include "support/TempDir.h"

namespace kolvik::test {
namespace {

namespace fs = std::filesystem;
const std::string kTold = "Het logboek kan niet worden geschreven: ";

// Whatever stands at the log's name that is no regular file is refused, a dangling link's
// target included, and the refusal is told once however many lines follow. (A folder there
// fails the open as the dangling link does.) A link to a file
// is a row of tests/cli/CliRunTest.cpp, over the same writer.
TEST(LogFile, OnlyARegularFileIsAppendedToAndARefusalIsToldOnce) {
    const struct {
        const char* name;
        void (*plant)(const TempDir& dir);
    } rows[] = {
        {"dangling link",
         [](const TempDir& d) { fs::create_symlink(d / "weg", d / "Kolvik.log"); }},
        {"fifo",
         [](const TempDir& d) { ASSERT_EQ(::mkfifo((d / "Kolvik.log").c_str(), 0600), 0); }},
    };
    for (const auto& r : rows) {
        TempDir dir;
        r.plant(dir);
        TestWindow w(dir.path());
        EXPECT_FALSE(w->gLog("SKIP a.txt")) << r.name;
        EXPECT_FALSE(w->gLog("SKIP b.txt")) << r.name;
        EXPECT_FALSE(fs::exists(dir / "weg")) << r.name;
        EXPECT_EQ(w.dialogs.Texts(), std::vector{kTold + (dir / "Kolvik.log")}) << r.name;
        EXPECT_TRUE(w->session.Report().logFailed) << r.name;
    }
}

// A write the file's size limit cuts off fails as on a full disk: the line is not claimed as
// written, and the failure is told once. SIGXFSZ is ignored as the programs ignore it.
TEST(LogFile, AWriteCutOffBySizeLimitIsToldOnce) {
    TempDir dir;
    WriteFile(dir / "Kolvik.log", std::string(100, 'x'));
    EXPECT_EXIT(
        {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = 100;
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(2);
            TestWindow w(dir.path());
            const bool first = w->gLog("SKIP a.txt");
            const bool second = w->gLog("SKIP b.txt");
            const bool toldOnce = w.dialogs.shown.size() == 1 &&
                                  w.dialogs.shown[0].text == kTold + (dir / "Kolvik.log");
            std::_Exit(!first && !second && toldOnce ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(dir / "Kolvik.log"), std::string(100, 'x'));
}

}  // namespace
}  // namespace kolvik::test
