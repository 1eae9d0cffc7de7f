// SPDX-License-Identifier: GPL-3.0-or-later
// The crew that deletes the originals of each group: every job exactly once, Run back only when
// all are done, the same few threads for group after group, and a job's exception brought home.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "engine/DeletionCrew.h"

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

}  // namespace
}  // namespace kolvik
