// SPDX-License-Identifier: GPL-3.0-or-later
// The crew that deletes the originals of each group: every job exactly once, Run back only when
// all are done, the same few threads for group after group, and a job's exception brought home.
// And a group completed in the background: what it left is told on the run's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/DeletionCrew.h"
#include "engine/DeletionGroups.h"
#include "support/Fakes.h"
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

// A full group goes to the background; the first of its originals is replaced before that, so
// it must stay, its copy go, and the file be counted back and told on the run's thread. Windows
// keeps other programs off an original until it goes, so there the group completes whole.
TEST(DeletionGroups, WhatAGroupInFlightLeftIsToldOnTheRunsThread) {
#ifdef _WIN32
    const bool replaced = false;
#else
    const bool replaced = true;
#endif
    test::TempDir dir, elsewhere;
    const auto name = [&](std::size_t i, const char* ending) {
        return dir / ("f" + std::to_string(i) + ending);
    };
    const std::size_t files = kPendingFiles + 1;
    for (std::size_t i = 0; i < files; ++i) test::WriteFile(name(i, ".txt"), "x");
    test::WriteFile(elsewhere / "f0.txt", "changed");
    test::TestWindow w("/nonexistent/kolvik", dir.path());
    w->Form_Load();
    std::vector<std::pair<std::string, LeftReason>> left;
    std::vector<std::thread::id> tellers;
    w->FileLeft = [&](const std::string& path, LeftReason reason) {
        left.emplace_back(path, reason);
        tellers.push_back(std::this_thread::get_id());
    };
    // Renamed over it rather than written to: an open for writing would wait out its lease.
    w.screen.onYield = [&] {
        if (replaced && w->session.Stats().FilesDone == 1 &&
            std::filesystem::exists(test::PathOf(elsewhere / "f0.txt")))
            std::filesystem::rename(test::PathOf(elsewhere / "f0.txt"),
                                    test::PathOf(name(0, ".txt")));
    };
    w.Press("pw");

    const auto all = static_cast<std::int64_t>(files), done = all - (replaced ? 1 : 0);
    const RunStats& stats = w->session.Stats();
    EXPECT_EQ(
        std::tie(stats.FilesDone, stats.BytesDone, stats.FilesSkipped, w->session.Report().left),
        std::make_tuple(done, done, all - done, all - done));
    using Left = std::vector<std::pair<std::string, LeftReason>>;
    EXPECT_EQ(left, (replaced ? Left{{name(0, ".txt"), LeftReason::ChangedDuringRun}} : Left{}));
    EXPECT_EQ(tellers, std::vector(left.size(), std::this_thread::get_id()));
    for (std::size_t i = 0; i < files; ++i) {
        const bool stays = replaced && i == 0;
        EXPECT_EQ(std::filesystem::exists(test::PathOf(name(i, ".txt"))), stays) << i;
        EXPECT_EQ(std::filesystem::exists(test::PathOf(name(i, "_txt.kol"))), !stays) << i;
    }
    EXPECT_TRUE(!replaced || test::ReadFile(name(0, ".txt")) == "changed");
}

}  // namespace
}  // namespace kolvik
