// SPDX-License-Identifier: GPL-3.0-or-later
// How the POSIX layer groups the syncs that make copies durable before their originals go.
#include <gtest/gtest.h>

#include "EngineKit.h"
#include "FaultCalls.h"

namespace kolvik::test {
namespace {

// Originals wait for one sync across folders: the pass over the target's own files ends with
// one, a group ends at 256 files or when a 65th folder would have to stay open.
struct Grouping {
    int folders, filesPerFolder, topFiles, syncs;
};

class SyncGroups : public testing::TestWithParam<Grouping> {};

TEST_P(SyncGroups, OneSyncServesManyFolders) {
    const Grouping g = GetParam();
    TempDir target;
    std::vector<std::pair<std::string, std::size_t>> files;
    for (int t = 0; t < g.topFiles; ++t) files.push_back({"top" + std::to_string(t), 3});
    for (int d = 0; d < g.folders; ++d)
        for (int f = 0; f < g.filesPerFolder; ++f)
            files.push_back({"d" + std::to_string(100 + d) + "/f" + std::to_string(f), 5});
    Plant(target.path(), files);
    FaultPlan plan;
    FaultInjection count(plan);
    Engine w;
    w.Encrypt(target.path());
    EXPECT_EQ(w.stats.FilesDone, static_cast<std::int64_t>(files.size()));
    EXPECT_EQ(plan.Seen(Call::Syncfs), g.syncs);
    EXPECT_EQ(plan.Seen(Call::Unlink), static_cast<int>(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Walk, SyncGroups,
                         testing::Values(Grouping{3, 10, 0, 1}, Grouping{3, 10, 2, 2},
                                         Grouping{64, 1, 0, 1}, Grouping{65, 1, 0, 2},
                                         Grouping{1, 256, 0, 1}, Grouping{2, 150, 0, 2},
                                         Grouping{1, 257, 1, 3}));

}  // namespace
}  // namespace kolvik::test
