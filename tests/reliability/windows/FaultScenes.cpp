// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultSweep.h"

namespace kolvik::test {

// Every Windows file system renames without replacing, and copies always get a scratch name:
// there are no quirks to play.
void AsOnFileSystem(FaultPlan&, const Scene&) {}

namespace {

// Fewer files than on Linux: under Wine every call goes through its server, and the runs grow
// with the square of the files (50 files took 15 minutes, 12 take under one).
INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         testing::Values(Scene{false, true, false, 12},
                                         Scene{true, true, false, 12}, Scene{false, true, true, 6},
                                         Scene{true, true, true, 6},
                                         Scene{false, true, false, 2, false, true},
                                         Scene{true, true, false, 2, false, true}),
                         SceneName);

}  // namespace
}  // namespace kolvik::test
