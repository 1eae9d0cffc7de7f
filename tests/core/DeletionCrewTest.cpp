// SPDX-License-Identifier: GPL-3.0-or-later
// The crew that deletes the originals of each group: every job exactly once, Run back only when
// all are done, the same few threads for group after group, and a job's exception brought home.
// And a group completed in the background: what it left is told on the run's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/DeletionCrew.h"
#include "engine/DeletionGroups.h"
#include "support/TempDir.h"

namespace kolvik {
namespace {

TEST(DeletionCrew, RunsEachJobOnceAndReusesItsThreads) {
    DeletionCrew crew;
    // Helpers: one fewer than the jobs, at most kMaxAtOnce - 1; none for a single job.
    using Case = std::pair<std::size_t, std::size_t>;  // jobs, helpers afterwards
    const Case cases[] = {{0, 0}, {1, 0}, {2, 1}, {7, 6}, {9, 7}, {200, 7}, {3, 7}};
    for (const auto& [jobs, helpers] : cases) {
        std::vector<std::atomic<int>> runs(jobs);
        crew.Run(jobs, [&](std::size_t i) { ++runs[i]; });
        for (std::size_t i = 0; i < jobs; ++i) EXPECT_EQ(runs[i], 1) << jobs << " jobs, job " << i;
        EXPECT_EQ(crew.Threads(), helpers) << jobs << " jobs";
    }
    crew.Stop();
    EXPECT_EQ(crew.Threads(), 0u);
}

TEST(DeletionCrew, AJobsExceptionComesBackOnceEveryOtherJobIsDone) {
    DeletionCrew crew;
    std::atomic<int> done{0};
    const auto run = [&] {
        crew.Run(40, [&](std::size_t i) {
            if (i == 3) throw std::runtime_error("mislukt");
            ++done;
        });
    };
    EXPECT_THROW(run(), std::runtime_error);
    EXPECT_EQ(done, 39);
    // The crew is whole afterwards.
    done = 0;
    crew.Run(40, [&](std::size_t) { ++done; });
    EXPECT_EQ(done, 40);
}

// Records what is left, and on which thread it was told.
struct LeftEvents : RunEvents {
    std::vector<std::pair<std::string, LeftReason>> left;
    std::vector<std::thread::id> tellers;
    void Left(const std::string& path, LeftReason reason) override {
        left.emplace_back(path, reason);
        tellers.push_back(std::this_thread::get_id());
    }
    void Yield() override {}
    void FileStepBegins() override {}
    void FileStarted(const std::string&) override {}
    void Progress(std::int64_t) override {}
    void CountsChanged() override {}
    void Skipped(const std::string&) override {}
    void Transformed(const std::string&, bool) override {}
    void NotOverwritten(const std::string&, LeftReason) override {}
    bool GoOnWithoutAccess() override { return true; }
    WrongKeyAnswer AskWrongKey(const std::string&) override { return WrongKeyAnswer::GoOn; }
    void TellUnopenable(const std::string&, LeftReason) override {}
    void DiskFull(const std::string&) override {}
    void Exited() override {}
    void StoppedAtTargetFiles() override {}
    void StoppedBetweenFolders() override {}
    void Measuring(bool) override {}
};

// A full group goes to the background; the first of its originals changes before that, so it
// must stay, its copy go, and the file be counted back and told when the run completes.
TEST(DeletionGroups, WhatAGroupInFlightLeftIsToldAtTheNextCompletion) {
    test::TempDir dir;
    const auto folder = std::make_shared<safefile::Folder>();
    ASSERT_EQ(folder->Open(dir.path()), safefile::Fault::None);
    RunStats stats;
    StopFlags flags;
    RunReport report;
    LeftEvents events;
    LeftFiles left(stats, flags, report, events);
    DeletionGroups groups(stats, report, events, left);
    const auto name = [](std::size_t i, const char* ending) {
        return "f" + std::to_string(i) + ending;
    };
    const std::size_t files = kPendingFiles + 1;
    for (std::size_t i = 0; i < files; ++i) {
        test::WriteFile(dir / name(i, ".txt"), "x");
        test::WriteFile(dir / name(i, "_txt.kol"), "yy");
        safefile::PendingOriginal p;
        p.folder = folder;
        p.original = name(i, ".txt");
        p.copy = name(i, "_txt.kol");
        safefile::FileFacts copy;
        ASSERT_EQ(folder->Stat(p.original, p.originalFacts), safefile::Fault::None);
        ASSERT_EQ(folder->Stat(p.copy, copy), safefile::Fault::None);
        p.copyInode = copy.inode;
        p.copySize = 2;
        p.countedBytes = 1;
        groups.Add(std::move(p));
        if (i == 0) test::WriteFile(dir / name(0, ".txt"), "changed");
        if (groups.Due()) groups.CompleteLater();
    }
    EXPECT_FALSE(groups.Empty());
    EXPECT_EQ(groups.Complete(), 0u);
    EXPECT_TRUE(groups.Empty());

    const auto done = static_cast<std::int64_t>(files) - 1;
    EXPECT_EQ(std::tie(stats.FilesDone, stats.BytesDone, stats.FilesSkipped, report.left),
              std::make_tuple(done, done, 1, 1));
    const std::vector<std::pair<std::string, LeftReason>> told{
        {dir / name(0, ".txt"), LeftReason::ChangedDuringRun}};
    EXPECT_EQ(events.left, told);
    EXPECT_EQ(events.tellers, std::vector{std::this_thread::get_id()});
    EXPECT_EQ(test::ReadFile(dir / name(0, ".txt")), "changed");
    EXPECT_FALSE(std::filesystem::exists(test::PathOf(dir / name(0, "_txt.kol"))));
    for (std::size_t i = 1; i < files; ++i) {
        EXPECT_FALSE(std::filesystem::exists(test::PathOf(dir / name(i, ".txt")))) << i;
        EXPECT_EQ(test::ReadFile(dir / name(i, "_txt.kol")), "yy") << i;
    }
}

}  // namespace
}  // namespace kolvik
