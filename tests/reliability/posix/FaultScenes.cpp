// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include "FaultSweep.h"

namespace kolvik::test {

void AsOnFileSystem(FaultPlan& plan, const Scene& s) {
    plan.tmpfileUnsupported = s.noTmpfile || s.noLinks;
    plan.noReplaceUnsupported = plan.hardLinksUnsupported = s.noLinks;
}

namespace {

// Thousands of runs create and delete files: a memory-backed folder keeps that fast, and the
// calls under test are the same there.
[[maybe_unused]] const bool kMemoryBacked =
    ::access("/dev/shm", W_OK) == 0 && ::setenv("TMPDIR", "/dev/shm", 1) == 0;

INSTANTIATE_TEST_SUITE_P(
    Runs, FaultSweep,
    testing::Values(Scene{false, false, false, 50}, Scene{true, false, false, 50},
                    Scene{false, true, false, 12}, Scene{true, true, false, 12},
                    Scene{false, false, true, 8}, Scene{true, true, true, 8},
                    Scene{false, true, false, 12, true}, Scene{true, true, false, 12, true},
                    // A key derivation per run (about a tenth of a second): a few files only.
                    Scene{false, false, false, 3, false, true},
                    Scene{true, false, false, 3, false, true}),
    SceneName);

}  // namespace
}  // namespace kolvik::test
