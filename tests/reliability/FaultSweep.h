// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fault sweep over the platform's file layer: FaultSweepTest.cpp runs it, and each
// platform's FaultScenes.cpp names the runs worth sweeping there.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "FaultCalls.h"

namespace kolvik::test {

struct Scene {
    bool decrypting, noTmpfile, singleFiles;
    std::size_t files;  // the first files of Tree()
    // Nor a rename that refuses to replace, nor hard links (exFAT through FUSE): each name is
    // claimed with an empty file first and the copy renamed over it.
    bool noLinks = false;
    bool strong = false;  // encrypting writes, and decrypting reads, the strong format
};

class FaultSweep : public testing::TestWithParam<Scene> {};

// Puts the scene's file-system quirks into plan.
void AsOnFileSystem(FaultPlan& plan, const Scene& scene);
std::string SceneName(const testing::TestParamInfo<Scene>& info);

}  // namespace kolvik::test
