// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "support/Fakes.h"

namespace kolvik {
namespace {

using test::TestWindow;

TEST(SterkBox, RememberedPerUser) {
    TestWindow first;
    EXPECT_EQ(first->chkSterk.value, 0);  // nothing stored: the described format
    EXPECT_FALSE(first->chkSterk.tooltip.empty());
    first->chkSterk.value = 1;
    first->OnClick(first->chkSterk);
    // Windows opened later on the same store start with the last choice.
    TestWindow second("/nonexistent/kolvik", "", &first.registry);
    EXPECT_EQ(second->chkSterk.value, 1);
    second->chkSterk.value = 0;
    second->OnClick(second->chkSterk);
    EXPECT_EQ(TestWindow("/nonexistent/kolvik", "", &first.registry)->chkSterk.value, 0);
}

}  // namespace
}  // namespace kolvik
